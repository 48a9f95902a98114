#include "linkclient.h"

#include <algorithm>

#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QtTest>

using kavro::link::CardFrameKind;
using kavro::link::Command;
using kavro::link::CommandFrame;

// kavro-board-host used the way a script uses it: a process, its standard streams, a socket.
class TstBoardHost : public QObject
{
    Q_OBJECT

    QString hostPath() const
    {
        return QCoreApplication::applicationDirPath() + QStringLiteral("/kavro-board-host");
    }

    struct Listener
    {
        QString address;
        quint16 port;
    };

    // Starts the host and returns where its cards listen, from its first lines; fewer when the
    // lines do not come.
    QVector<Listener> startHost(QProcess &process,
                                const QStringList &args = {QStringLiteral("--port"),
                                                           QStringLiteral("0"),
                                                           QStringLiteral("--no-udp")},
                                int cards = 1)
    {
        QVector<Listener> listeners;
        process.start(hostPath(), args);
        if (!process.waitForStarted(5000))
            return listeners;
        const QRegularExpression pattern(QStringLiteral("^listening ([0-9.]+):(\\d+)$"));
        QElapsedTimer timer;
        timer.start();
        while (listeners.size() < cards && timer.elapsed() < 10000) {
            if (!process.canReadLine()) {
                process.waitForReadyRead(100);
                continue;
            }
            const auto m = pattern.match(QString::fromUtf8(process.readLine()).trimmed());
            if (!m.hasMatch())
                break;
            listeners.push_back({m.captured(1), quint16(m.captured(2).toUInt())});
        }
        return listeners;
    }

    static bool waitForLine(QProcess &process, const QByteArray &wanted, QByteArray &seen)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 5000) {
            while (process.canReadLine()) {
                const QByteArray line = process.readLine().trimmed();
                seen += line + '\n';
                if (line == wanted)
                    return true;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            process.waitForReadyRead(10);
        }
        return false;
    }

private slots:
    void inputsInOutputsOutAndEndOfInputStops()
    {
        QProcess process;
        const auto cards = startHost(process);
        QCOMPARE(cards.size(), 1);
        QCOMPARE(cards[0].address, QStringLiteral("127.0.0.1"));

        LinkClient client;
        QVERIFY(client.connectTo(cards[0].port));
        process.write("in 5 1\n");
        QTRY_VERIFY_WITH_TIMEOUT(
            !client.frames.isEmpty() && (client.frames.last().inputWord() & (1u << 5)), 5000);
        QCOMPARE(client.frames.last().kind(), CardFrameKind::GroupReport);

        client.send(CommandFrame::make(Command::SetOutBit, 0, 3));
        QByteArray seen;
        QVERIFY2(waitForLine(process, "out 3 1", seen), seen.constData());
        client.send(CommandFrame::make(Command::ClearOutBit, 0, 3));
        QVERIFY2(waitForLine(process, "out 3 0", seen), seen.constData());

        process.write("bogus line\n");
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(process.readAllStandardError().contains("ignored: bogus line"));
    }

    void terminateStopsCleanly()
    {
        QProcess process;
        QCOMPARE(startHost(process).size(), 1);
        process.terminate();
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
    }

    // Refused starts: 1 when the cards cannot listen, 2 for a usage error; nothing listens.
    void startupErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        // PORT stands for a port the test holds.
        QTest::newRow("port in use")
            << QStringList{"--port", "PORT", "--no-udp"} << 1 << "cannot listen on 127.0.0.1:PORT";
        QTest::newRow("address of three numbers")
            << QStringList{"--address", "1.2.3", "--port", "0", "--no-udp"} << 1
            << "not an IPv4 address: 1.2.3";
        QTest::newRow("no cards") << QStringList{"--cards", "0", "--port", "0", "--no-udp"} << 2
                                  << "--cards";
        QTest::newRow("port not a number")
            << QStringList{"--port", "http", "--no-udp"} << 2 << "not a port: http";
    }

    void startupErrors()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QTcpServer held;
        QVERIFY(held.listen(QHostAddress::LocalHost, 0));
        const QString port = QString::number(held.serverPort());
        for (QString &arg : args)
            arg.replace(QStringLiteral("PORT"), port);
        message.replace(QStringLiteral("PORT"), port);

        QProcess process;
        process.start(hostPath(), args);
        // A host that started after all ends at once with its input.
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), exitCode);
        const QByteArray errors = process.readAllStandardError();
        QVERIFY2(errors.contains(message.toUtf8()), errors.constData());
        QVERIFY(!process.readAllStandardOutput().contains("listening"));
    }

    // Lines name the card: "in CARD BIT 0|1" reaches that card alone, its outputs come back as
    // "out CARD BIT 0|1".
    void threeCardsByNumber()
    {
        QProcess process;
        const auto cards =
            startHost(process,
                      {QStringLiteral("--cards"), QStringLiteral("3"), QStringLiteral("--port"),
                       QStringLiteral("0"), QStringLiteral("--no-udp")},
                      3);
        QCOMPARE(cards.size(), 3);
        // Heartbeats may come between; only group reports count here.
        const auto reports = [](const LinkClient &c) {
            QVector<kavro::link::CardFrame> out;
            for (const auto &f : c.frames)
                if (f.kind() == CardFrameKind::GroupReport)
                    out.push_back(f);
            return out;
        };
        LinkClient clients[3];
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(cards[i].address, QStringLiteral("127.0.0.%1").arg(i + 1));
            clients[i].socket.connectToHost(QHostAddress(cards[i].address), cards[i].port);
            QVERIFY(clients[i].socket.waitForConnected(5000));
            // Answered: the card has taken the client in and reports to it from now on.
            clients[i].send(CommandFrame::make(Command::ReadGroup));
            QTRY_COMPARE_WITH_TIMEOUT(reports(clients[i]).size(), 1, 5000);
        }

        process.write("in 2 4 1\n");
        QTRY_COMPARE_WITH_TIMEOUT(reports(clients[2]).last().inputWord(), 1u << 4, 5000);
        clients[0].send(CommandFrame::make(Command::ReadGroup));
        QTRY_COMPARE_WITH_TIMEOUT(reports(clients[0]).size(), 2, 5000);
        for (const auto &f : reports(clients[0]))
            QCOMPARE(f.inputWord(), 0u);

        clients[1].send(CommandFrame::make(Command::SetOutBit, 0, 6));
        QByteArray seen;
        QVERIFY2(waitForLine(process, "out 1 6 1", seen), seen.constData());
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitCode(), 0);
    }

    void oneOutputChangeIsOneLine()
    {
        // A repeated set, a word that keeps the bit, and a refresh that drives all 32 outputs
        // again change nothing more: one "out" line in all.
        QProcess process;
        const auto cards = startHost(process);
        QCOMPARE(cards.size(), 1);
        LinkClient client;
        QVERIFY(client.connectTo(cards[0].port));
        client.send(CommandFrame::make(Command::SetOutBit, 0, 10));
        client.send(CommandFrame::make(Command::SetOutBit, 0, 10));
        client.send(CommandFrame::make(Command::WriteOutWord, 0, 0, 1u << 10));
        client.send(CommandFrame::make(Command::Refresh));
        client.send(CommandFrame::make(Command::BlankQuery, 0x31));
        QTRY_VERIFY_WITH_TIMEOUT(
            std::any_of(client.frames.begin(), client.frames.end(),
                        [](const auto &f) { return f.kind() == CardFrameKind::BlankReply; }),
            5000);
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished(5000));
        const QByteArray out = process.readAllStandardOutput();
        QCOMPARE(out.count("out "), 1);
        QVERIFY(out.contains("out 10 1\n"));
    }

    void linkSendEndsWhileTheCardReportsAllTheTime()
    {
        // An endless 2 ms pulse train on output 1 keeps the card reporting; the later commands
        // must still be sent and the tool must end.
        QProcess host;
        const auto cards = startHost(host);
        QCOMPARE(cards.size(), 1);
        QProcess send;
        send.start(QCoreApplication::applicationDirPath() + QStringLiteral("/kavro-link-send"),
                   {QStringLiteral("127.0.0.1:%1").arg(cards[0].port), QStringLiteral("pulse"),
                    QStringLiteral("1"), QStringLiteral("65535"), QStringLiteral("2"),
                    QStringLiteral("2"), QStringLiteral("read"), QStringLiteral("set"),
                    QStringLiteral("20")});
        QVERIFY(send.waitForFinished(15000));
        QCOMPARE(send.exitCode(), 0);
        QByteArray seen;
        QVERIFY2(waitForLine(host, "out 20 1", seen), seen.constData());
        host.closeWriteChannel();
        QVERIFY(host.waitForFinished(5000));
    }
};

QTEST_GUILESS_MAIN(TstBoardHost)
#include "tst_boardhost.moc"
