#include "virtualboard/mcudevice.h"

#include <QDateTime>
#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QUdpSocket>
#include <QtTest>

// The card's UDP configuration service over real datagrams on 127.0.0.1.
class TstMcuDevice : public QObject
{
    Q_OBJECT

    static constexpr quint16 Port = 23456;
    const QString mac = QStringLiteral("02:DE:12:34:56:78");

    // Sends one request and returns the reply, or an empty array when none comes.
    QByteArray ask(const QByteArray &request, int waitMs = 300)
    {
        client.writeDatagram(request, QHostAddress::LocalHost, Port);
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < waitMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            if (client.hasPendingDatagrams())
                return client.receiveDatagram().data();
        }
        return QByteArray();
    }

    std::unique_ptr<MCUDevice> device;
    QUdpSocket client;
    int changes = 0;
    QString changedMac;

private slots:
    void init()
    {
        device = std::make_unique<MCUDevice>(mac, QStringLiteral("192.168.1.100"),
                                             QStringLiteral("255.255.255.0"),
                                             QStringLiteral("192.168.1.1"), Port);
        changes = 0;
        device->onChanged = [this](const QString &m) {
            ++changes;
            changedMac = m;
        };
        QVERIFY(device->start(QStringLiteral("192.168.1.100")));
        QVERIFY(client.bind(QHostAddress(QHostAddress::LocalHost), 0));
    }

    void cleanup()
    {
        device.reset();
        client.close();
    }

    void requestsAndReplies_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("expectedChanges");
        const QByteArray m = mac.toLatin1();
        QTest::newRow("discovery") << QByteArray("CMD:GET_INFO;")
                                   << QByteArray("RESP:INFO;02:DE:12:34:56:78;192.168.1.100;"
                                                 "255.255.255.0;192.168.1.1;23456")
                                   << 0;
        QTest::newRow("discovery without semicolon")
            << QByteArray("CMD:GET_INFO")
            << QByteArray("RESP:INFO;02:DE:12:34:56:78;192.168.1.100;255.255.255.0;192.168.1.1;"
                          "23456")
            << 0;
        QTest::newRow("discovery in lower case")
            << QByteArray("cmd:get_info;") << QByteArray() << 0;
        QTest::newRow("unknown command") << QByteArray("CMD:REBOOT;" + m) << QByteArray() << 0;
        QTest::newRow("set ip") << QByteArray("CMD:SET_IP;" + m + ";10.1.2.3")
                                << QByteArray("RESP:SET_IP;" + m + ";10.1.2.3;SUCCESS") << 1;
        QTest::newRow("set ip, anything goes")
            << QByteArray("CMD:SET_IP;" + m + ";not an ip")
            << QByteArray("RESP:SET_IP;" + m + ";not an ip;SUCCESS") << 1;
        QTest::newRow("set mac") << QByteArray("CMD:SET_MAC;" + m + ";02:de:00:00:00:01")
                                 << QByteArray("RESP:SET_MAC;" + m + ";02:de:00:00:00:01;SUCCESS")
                                 << 1;
        QTest::newRow("set mac, dashes")
            << QByteArray("CMD:SET_MAC;" + m + ";02-DE-00-00-00-01")
            << QByteArray("RESP:SET_MAC;" + m + ";02-DE-00-00-00-01;INVALID_FORMAT") << 0;
        QTest::newRow("set mac, not hex")
            << QByteArray("CMD:SET_MAC;" + m + ";02:DE:00:00:00:0G")
            << QByteArray("RESP:SET_MAC;" + m + ";02:DE:00:00:00:0G;INVALID_FORMAT") << 0;
        QTest::newRow("set mac, missing value")
            << QByteArray("CMD:SET_MAC;" + m)
            << QByteArray("RESP:SET_MAC;" + m + ";;INVALID_FORMAT") << 0;
        QTest::newRow("set mask") << QByteArray("CMD:SET_SUBNETMASK;" + m + ";255.255.0.0")
                                  << QByteArray("RESP:SET_SUBNETMASK;" + m + ";255.255.0.0;SUCCESS")
                                  << 1;
        QTest::newRow("set mask, ipv6")
            << QByteArray("CMD:SET_SUBNETMASK;" + m + ";::1")
            << QByteArray("RESP:SET_SUBNETMASK;" + m + ";::1;INVALID_FORMAT") << 0;
        QTest::newRow("set gateway")
            << QByteArray("CMD:SET_GATEWAY;" + m + ";10.0.0.1")
            << QByteArray("RESP:SET_GATEWAY;" + m + ";10.0.0.1;SUCCESS") << 1;
        QTest::newRow("set gateway, out of range")
            << QByteArray("CMD:SET_GATEWAY;" + m + ";300.1.1.1")
            << QByteArray("RESP:SET_GATEWAY;" + m + ";300.1.1.1;INVALID_FORMAT") << 0;
        QTest::newRow("set gateway, empty")
            << QByteArray("CMD:SET_GATEWAY;" + m + ";")
            << QByteArray("RESP:SET_GATEWAY;" + m + ";;INVALID_FORMAT") << 0;
        QTest::newRow("mac in other case")
            << QByteArray("CMD:SET_IP;02:de:12:34:56:78;1.2.3.4") << QByteArray() << 0;
        QTest::newRow("empty mac field") << QByteArray("CMD:SET_IP;;1.2.3.4") << QByteArray() << 0;
        QTest::newRow("no mac field") << QByteArray("CMD:SET_GATEWAY") << QByteArray() << 0;
    }

    void requestsAndReplies()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        QFETCH(int, expectedChanges);
        QCOMPARE(ask(request, reply.isEmpty() ? 200 : 2000), reply);
        QCOMPARE(changes, expectedChanges);
    }

    void acceptedValuesAreStoredExactly()
    {
        QCOMPARE(ask("CMD:SET_MAC;02:DE:12:34:56:78;02:de:00:00:00:01", 2000),
                 QByteArray("RESP:SET_MAC;02:DE:12:34:56:78;02:de:00:00:00:01;SUCCESS"));
        QCOMPARE(changedMac, QStringLiteral("02:de:00:00:00:01"));
        // The stored text keeps its case; the old MAC and the upper-case form no longer match.
        QCOMPARE(ask("CMD:SET_GATEWAY;02:DE:00:00:00:01;10.0.0.1"), QByteArray());
        QCOMPARE(ask("CMD:SET_GATEWAY;02:DE:12:34:56:78;10.0.0.1"), QByteArray());
        QCOMPARE(ask("CMD:SET_GATEWAY;02:de:00:00:00:01;10.0.0.1", 2000),
                 QByteArray("RESP:SET_GATEWAY;02:de:00:00:00:01;10.0.0.1;SUCCESS"));
        QCOMPARE(ask("CMD:SET_IP;02:de:00:00:00:01", 2000),
                 QByteArray("RESP:SET_IP;02:de:00:00:00:01;;SUCCESS"));
        QCOMPARE(changes, 3);
        QCOMPARE(ask("CMD:GET_INFO;", 2000),
                 QByteArray("RESP:INFO;02:de:00:00:00:01;;255.255.255.0;10.0.0.1;23456"));
    }

    void restartTakesTheNewAddressAndKeepsTheRest()
    {
        QVERIFY(!ask("CMD:SET_SUBNETMASK;02:DE:12:34:56:78;255.0.0.0", 2000).isEmpty());
        device->stop();
        QVERIFY(!device->isRunning());
        QCOMPARE(ask("CMD:GET_INFO;"), QByteArray()); // stopped: nothing answers
        QVERIFY(device->start(QStringLiteral("127.0.0.1")));
        QCOMPARE(ask("CMD:GET_INFO;", 2000),
                 QByteArray("RESP:INFO;02:DE:12:34:56:78;127.0.0.1;255.0.0.0;192.168.1.1;23456"));
    }

    void bindFailureLeavesItStopped()
    {
        device.reset();
        QUdpSocket occupier;
        QVERIFY(occupier.bind(QHostAddress::Any, Port, QAbstractSocket::DontShareAddress));
        MCUDevice second(mac, QString(), QString(), QString(), Port);
        QVERIFY(!second.start(QStringLiteral("127.0.0.1")));
        QVERIFY(!second.isRunning());
        occupier.close();
        QVERIFY2(second.start(QStringLiteral("127.0.0.1")), "the next start reuses the socket");
    }

    void constructorDefaults()
    {
        device.reset();
        MCUDevice d(QString(), QString(), QString(), QString(), Port);
        QVERIFY(QRegularExpression(QStringLiteral("^([0-9A-F]{2}:){5}[0-9A-F]{2}$"))
                    .match(d.mac())
                    .hasMatch());
        QCOMPARE(d.ip(), QStringLiteral("192.168.1.100"));
        QCOMPARE(d.subnetMask(), QStringLiteral("255.255.255.0"));
        QCOMPARE(d.gateway(), QString());
        QVERIFY(!d.isRunning());
    }

    void generatedMacCarriesTheTime()
    {
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        const QString generated = generateMac();
        const qint64 after = QDateTime::currentMSecsSinceEpoch();
        const QRegularExpressionMatch m =
            QRegularExpression(
                QStringLiteral("^02:DE:([0-9A-F]{2}):([0-9A-F]{2}):([0-9A-F]{2}):([0-9A-F]{2})$"))
                .match(generated);
        QVERIFY2(m.hasMatch(), qPrintable(generated));
        const int t1 = m.captured(2).toInt(nullptr, 16);
        const int t0 = m.captured(4).toInt(nullptr, 16);
        bool found = false;
        for (qint64 ms = before; ms <= after; ++ms)
            found = found || (((ms >> 8) & 0xFF) == t1 && (ms & 0xFF) == t0);
        QVERIFY2(found, qPrintable(generated));
    }
};

QTEST_GUILESS_MAIN(TstMcuDevice)
#include "tst_mcudevice.moc"
