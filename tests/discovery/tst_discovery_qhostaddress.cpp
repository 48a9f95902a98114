#include "discovery/addresses.h"

#include <random>
#include <string>

#include <QHostAddress>
#include <QtTest>

// The card's IPv4 check promises the toolkit parser's answer without the toolkit; this holds
// it to that promise.
class TstDiscoveryQHostAddress : public QObject
{
    Q_OBJECT

    static bool toolkitSaysIPv4(const QByteArray &text)
    {
        QHostAddress address;
        return address.setAddress(QString::fromLatin1(text.constData(), text.size())) &&
               address.protocol() == QAbstractSocket::IPv4Protocol;
    }

    static bool ours(const QByteArray &text)
    {
        return kavro::discovery::isIPv4Address(
            std::string_view(text.constData(), std::size_t(text.size())));
    }

private slots:
    void agreesOnTrickyTexts_data()
    {
        QTest::addColumn<QByteArray>("text");
        const QByteArray texts[] = {
            // Short forms: the last part fills the rest.
            "1", "1.2", "1.2.3", "1.2.3.4", "4294967295", "4294967296", "1.16777215", "1.16777216",
            "1.2.65535", "1.2.65536", "1.2.3.255", "1.2.3.256", "256.1.1.1",
            // Bases and signs as strtoull reads them.
            "0x7f.1", "0X7F.0.0.1", "0x7F000001", "010.0.0.1", "08.0.0.1", "09", "017700000001",
            "0000000000000000000000000255.1.1.1", "0x", "0x.1", "1.0x", "0xg", "0x0FFFFFFFF",
            "0xFFFFFFFFFFFFFFFFFF", "99999999999999999999", "+1.2.3.4", "1.+2.3.4", "-1.2.3.4",
            "1.2.3.-0", "+ 1", "++1", "0b1.2.3.4", "1e2.1.1.1",
            // White space: trimmed, and allowed before a part but not after it.
            "1.2.3.4 ", " 1.2.3.4", "\t1.2.3.4\r\n", "1. 2.3.4", "1 .2.3.4", "1.2.\v3.4",
            "1.2.3.4 5", "  ",
            "\xA0"
            "1.2.3.4\x85",
            "1.\xA0"
            "2.3.4",
            "1.2.3.4\x1C",
            // Shape.
            "", "1.2.3.4.5", "1.2.3.", ".1.2.3", "1..2", "1.2.3.4x", "1.2.3.4\x7F",
            "\xE9"
            "1.2.3.4",
            "::1", "::ffff:1.2.3.4", "1.2.3.4:80", "1.2.3.4%eth0",
            // A NUL ends what is read, but the whole text is trimmed and checked first.
            QByteArray("1.2.3.4\0zz", 10), QByteArray("1.2.3.4 \0", 9), QByteArray("1.2.3.4\0 ", 9),
            QByteArray("1.2.3.4\0\xE9", 9), QByteArray("1.2.3.4\0\x7F", 9),
            QByteArray("1.2.3.4\0::", 10), QByteArray("1\0.2", 4), QByteArray("\0", 1)};
        for (const QByteArray &text : texts)
            QTest::newRow(text.toPercentEncoding().constData()) << text;
    }

    void agreesOnTrickyTexts()
    {
        QFETCH(QByteArray, text);
        QCOMPARE(ours(text), toolkitSaysIPv4(text));
    }

    // Texts built from parts near the limits, written in every base, with odd characters
    // mixed in.
    void agreesOnRandomTexts()
    {
        static const quint64 values[] = {0,     1,     7,        8,        255,        256,
                                         65535, 65536, 16777215, 16777216, 4294967295, 4294967296};
        static const char *const before[] = {" ", "+", "-", "\t", "++", "0", " +"};
        static const char *const after[] = {" ", "x", "g", ".", ":"};
        static const char odd[] = "x+- :%\t\x7F\x85\xA0\xE9"; // and its closing NUL
        std::mt19937 engine(20240601);
        const auto pick = [&engine](int n) { return int(engine() % unsigned(n)); };
        int fourParts = 0;
        for (int n = 0; n < 200000; ++n) {
            QByteArray text;
            const int parts = 1 + pick(5);
            for (int p = 0; p < parts; ++p) {
                if (p > 0)
                    text += '.';
                if (pick(4) == 0)
                    text += before[pick(std::size(before))];
                const quint64 value = pick(2) ? values[pick(std::size(values))] : engine() % 300;
                switch (pick(3)) {
                case 0:
                    text += QByteArray::number(value);
                    break;
                case 1:
                    text += '0' + QByteArray::number(value, 8);
                    break;
                default:
                    text += (pick(2) ? "0x" : "0X") + QByteArray::number(value, 16);
                    break;
                }
                if (pick(4) == 0)
                    text += after[pick(std::size(after))];
            }
            if (pick(4) == 0)
                text.insert(pick(text.size() + 1), odd[pick(sizeof odd)]);
            const bool expected = toolkitSaysIPv4(text);
            fourParts += expected && parts == 4;
            if (ours(text) != expected)
                QFAIL(qPrintable(QStringLiteral("%1: toolkit says %2")
                                     .arg(QString::fromLatin1(text.toPercentEncoding()))
                                     .arg(expected)));
        }
        QVERIFY2(fourParts > 1000, "the sweep must reach whole addresses too");
    }
};

QTEST_GUILESS_MAIN(TstDiscoveryQHostAddress)
#include "tst_discovery_qhostaddress.moc"
