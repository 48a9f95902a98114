#include "linkclient.h"

#include <QProcess>
#include <QRegularExpression>
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

    // Starts the host and returns the port from its first line, or 0.
    quint16 startHost(QProcess &process)
    {
        process.start(hostPath(),
                      {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--no-udp")});
        if (!process.waitForStarted(5000))
            return 0;
        QElapsedTimer timer;
        timer.start();
        while (!process.canReadLine() && timer.elapsed() < 10000)
            process.waitForReadyRead(100);
        const QString line = QString::fromUtf8(process.readLine()).trimmed();
        const auto m =
            QRegularExpression(QStringLiteral("^listening 127\\.0\\.0\\.1:(\\d+)$")).match(line);
        return m.hasMatch() ? quint16(m.captured(1).toUInt()) : 0;
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
        const quint16 port = startHost(process);
        QVERIFY(port != 0);

        LinkClient client;
        QVERIFY(client.connectTo(port));
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
        QVERIFY(startHost(process) != 0);
        process.terminate();
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
    }

    void badPortIsRefused()
    {
        QProcess process;
        process.start(hostPath(), {QStringLiteral("--port"), QStringLiteral("http")});
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitCode(), 2);
        QVERIFY(process.readAllStandardError().contains("not a port"));
    }
};

QTEST_GUILESS_MAIN(TstBoardHost)
#include "tst_boardhost.moc"
