#include "virtualboard/boardhost.h"
#include "linkclient.h"
#include "virtualboard/mcu.h"
#include "virtualboard/tcpserver.h"

#include <algorithm>

#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

using kavro::link::CardFrameKind;
using kavro::link::Command;
using kavro::link::CommandFrame;

// The board link over real TCP sockets on 127.0.0.1 with the real firmware thread.
class TstTcpLink : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        // Each test starts from a card with all outputs off.
        host = new BoardHost(this);
        QVERIFY(host->open(QStringLiteral("127.0.0.1"), 0, false));
        LinkClient reset;
        QVERIFY(reset.connectTo(host->port()));
        reset.send(CommandFrame::make(Command::WriteOutWord, 0, 0, 0));
        reset.send(CommandFrame::make(Command::ReadGroup));
        QTRY_VERIFY(reset.sawOutputWord(0));
    }

    void cleanup()
    {
        delete host;
        host = nullptr;
    }

    void setOutBitIsAnsweredWithCountedReport()
    {
        LinkClient client;
        QSignalSpy outputs(host, &BoardHost::outputChanged);
        QVERIFY(client.connectTo(host->port()));
        client.send(CommandFrame::make(Command::SetOutBit, 0, 3, 0, 9));
        QTRY_VERIFY(client.sawOutputWord(1u << 3));
        const auto &f = client.frames.last();
        QCOMPARE(int(f.status), 0x01);
        QVERIFY(f.sequence != 0);
        QCOMPARE(int(std::uint8_t(f.selector - f.sequence)), 9);
        QTRY_VERIFY(host->output(3));
        QCOMPARE(outputs.count(), 1);
        QCOMPARE(outputs.first().at(0).toInt(), 3);
        QCOMPARE(outputs.first().at(1).toBool(), true);
    }

    void twoClientsShareTheCard()
    {
        LinkClient a;
        LinkClient b;
        QVERIFY(a.connectTo(host->port()));
        QVERIFY(b.connectTo(host->port()));
        QTRY_COMPARE(host->findChild<TcpServer *>()->clientCount(), 2);
        a.send(CommandFrame::make(Command::SetOutBit, 0, 1));
        QTRY_VERIFY(b.sawOutputWord(0x2));
        b.send(CommandFrame::make(Command::SetOutBit, 0, 2));
        QTRY_VERIFY(a.sawOutputWord(0x6));
        QTRY_VERIFY(b.sawOutputWord(0x6));
        QVERIFY(a.sawOutputWord(0x2));
    }

    void closeDisconnectsAndReopenAcceptsOnTheSamePort()
    {
        const quint16 port = host->port();
        LinkClient client;
        QVERIFY(client.connectTo(port));
        QTRY_COMPARE(host->findChild<TcpServer *>()->clientCount(), 1);
        host->close();
        QTRY_COMPARE(client.socket.state(), QAbstractSocket::UnconnectedState);
        const int framesAtClose = client.frames.size();

        QVERIFY(host->open(QStringLiteral("127.0.0.1"), port, false));
        LinkClient again;
        QVERIFY(again.connectTo(port));
        again.send(CommandFrame::make(Command::BlankQuery, 0x42));
        QTRY_VERIFY(std::any_of(again.frames.begin(), again.frames.end(), [](const auto &f) {
            return f.kind() == CardFrameKind::BlankReply && f.param == 0x42;
        }));
        QCOMPARE(client.frames.size(), framesAtClose);
    }

    void portInUseFailsWithTheSystemText()
    {
        QTcpServer occupier;
        QVERIFY(occupier.listen(QHostAddress::LocalHost, 0));
        TcpServer server;
        QSignalSpy started(&server, &TcpServer::serverStarted);
        QSignalSpy errors(&server, &TcpServer::errorOccurred);
        QVERIFY(!server.startServer(QStringLiteral("127.0.0.1"), occupier.serverPort(), 30));
        QCOMPARE(started.count(), 0);
        QCOMPARE(errors.count(), 1);
        const QString text = errors.first().first().toString();
        QVERIFY2(text.startsWith(QLatin1String("Failed to start TCP server: ")), qPrintable(text));
        QVERIFY(text.size() > int(qstrlen("Failed to start TCP server: ")));
        QVERIFY(!server.isListening());
    }

    void eachOpeningRunsTheLoopOnce()
    {
        const quint64 before = MCU::instance()->firmwareRuns();
        for (int i = 0; i < 3; ++i) {
            host->close();
            QVERIFY(host->open(QStringLiteral("127.0.0.1"), 0, false));
        }
        QTRY_COMPARE(MCU::instance()->firmwareRuns(), before + 3);
        QTest::qWait(50);
        QCOMPARE(MCU::instance()->firmwareRuns(), before + 3);
    }

    void burstIsExecutedWholeAndInOrderWithinTheIntakeBound()
    {
        // 256,000 bytes in one write: four times the bound. The link must hold the sender
        // back, not drop or overwrite.
        constexpr std::uint32_t count = 16000;
        LinkClient client;
        QVERIFY(client.connectTo(host->port()));
        QByteArray bytes;
        for (std::uint32_t i = 1; i <= count; ++i) {
            const auto w = CommandFrame::make(Command::WriteOutWord, 0, 0, i << 4).encode();
            bytes.append(reinterpret_cast<const char *>(w.data()), int(w.size()));
        }
        client.socket.write(bytes);
        QTRY_VERIFY_WITH_TIMEOUT(client.sawOutputWord(count << 4), 60000);
        std::uint32_t expected = 1;
        for (const auto &f : client.frames) {
            if (f.kind() == CardFrameKind::GroupReport && f.outputWord() == (expected << 4))
                ++expected;
        }
        QCOMPARE(expected, count + 1);
        QVERIFY2(MCU::instance()->intakeHighWater() <= MCU::IntakeBound,
                 qPrintable(QString::number(MCU::instance()->intakeHighWater())));
    }

    void floodingClientDoesNotStarveAnother()
    {
        // Commands without an answer, so the flooder need not read: 1 MiB of them.
        LinkClient flooder;
        LinkClient other;
        QVERIFY(flooder.connectTo(host->port()));
        QVERIFY(other.connectTo(host->port()));
        QByteArray flood;
        const auto w = CommandFrame::make(Command::CancelDelayOff).encode();
        for (int i = 0; i < 65536; ++i)
            flood.append(reinterpret_cast<const char *>(w.data()), int(w.size()));
        flooder.socket.write(flood);
        QTRY_VERIFY(MCU::instance()->pendingBytes() > MCU::IntakeBound / 2);
        QElapsedTimer answered;
        answered.start();
        other.send(CommandFrame::make(Command::BlankQuery, 0x77));
        QTRY_VERIFY_WITH_TIMEOUT(std::any_of(other.frames.begin(), other.frames.end(),
                                             [](const auto &f) {
                                                 return f.kind() == CardFrameKind::BlankReply &&
                                                        f.param == 0x77;
                                             }),
                                 20000);
        // Far less than the megabyte would take: the answer waited for about one bound.
        QVERIFY2(flooder.socket.bytesToWrite() > 0 || MCU::instance()->pendingBytes() > 0,
                 "the flood was over before the answer came; the test shows nothing");
        QVERIFY(MCU::instance()->intakeHighWater() <= MCU::IntakeBound);
    }

private:
    BoardHost *host = nullptr;
};

QTEST_GUILESS_MAIN(TstTcpLink)
#include "tst_tcplink.moc"
