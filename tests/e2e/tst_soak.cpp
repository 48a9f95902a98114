// Bounded soak: many connect and disconnect cycles of board link clients, many openings and
// closings of the board's services, and many openings and closings of a card in the network
// tester against a board host. Memory and thread counts must settle, not grow. KAVRO_SOAK_SCALE
// multiplies the counts (1 in CI; larger by hand).
#include "virtualboard/boardhost.h"
#include "hostprocess.h"
#include "panel/kavrowidget.h"
#include "tester/mainwindow.h"
#include "tester/simpleprogressdialog.h"

#include <cstdlib>

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTcpSocket>
#include <QtTest>

namespace {

int scale()
{
    const char *s = std::getenv("KAVRO_SOAK_SCALE");
    const int n = s ? std::atoi(s) : 1;
    return n > 0 ? n : 1;
}

long statusField(const char *name)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(name))
            return line.mid(int(qstrlen(name))).trimmed().split(' ').first().toLong();
    return -1;
}

long rssKb()
{
    return statusField("VmRSS:");
}

long threads()
{
    return statusField("Threads:");
}

// Resident memory may grow by at most this much over the cycles. Under the address sanitizer,
// freed memory waits in its quarantine, so the sanitizer's leak check judges instead.
bool memorySettled(long beforeKb)
{
#if defined(__SANITIZE_ADDRESS__)
    Q_UNUSED(beforeKb);
    return true;
#else
    const long grown = rssKb() - beforeKb;
    if (grown >= 8 * 1024)
        qWarning("resident memory grew by %ld kB", grown);
    return grown < 8 * 1024;
#endif
}

} // namespace

class TstSoak : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLoggingCategory::setFilterRules(QStringLiteral("kavro.board.debug=false"));
        registerSearchTypes();
    }

    void clientsComeAndGo()
    {
        BoardHost host;
        QVERIFY(host.open(QStringLiteral("127.0.0.1"), 0, false));
        auto cycle = [&] {
            QTcpSocket s;
            s.connectToHost(QStringLiteral("127.0.0.1"), host.port());
            QVERIFY(s.waitForConnected(3000));
            s.disconnectFromHost();
            if (s.state() != QAbstractSocket::UnconnectedState)
                QVERIFY(s.waitForDisconnected(3000));
            QCoreApplication::processEvents();
        };
        for (int i = 0; i < 100; ++i)
            cycle();
        QCoreApplication::processEvents();
        const long rss = rssKb();
        const long th = threads();
        for (int i = 0; i < 1000 * scale(); ++i)
            cycle();
        QTRY_COMPARE(host.findChildren<QTcpSocket *>().size(), 0); // every client socket freed
        // A joined thread may still be on its way out of the kernel's list for a moment.
        QTRY_VERIFY2_WITH_TIMEOUT(threads() <= th, "no thread is left behind", 5000);
        QVERIFY(memorySettled(rss));
    }

    void boardOpensAndClosesAgain()
    {
        BoardHost host;
        for (int i = 0; i < 10; ++i) {
            QVERIFY(host.open(QStringLiteral("127.0.0.1"), 0, false));
            host.close();
        }
        const long rss = rssKb();
        const long th = threads();
        for (int i = 0; i < 100 * scale(); ++i) {
            QVERIFY(host.open(QStringLiteral("127.0.0.1"), 0, false));
            host.close();
            QCoreApplication::processEvents();
        }
        // A joined thread may still be on its way out of the kernel's list for a moment.
        QTRY_VERIFY2_WITH_TIMEOUT(threads() <= th, "no thread is left behind", 5000);
        QVERIFY(memorySettled(rss));
    }

    void testerOpensAndClosesACard()
    {
        HostProcess host;
        QVERIFY(host.started());
        MainWindow w(testerVariant());
        w.show();
        QTRY_VERIFY(w.findChild<QPushButton *>("pushButtonRefresh")->isEnabled());
        auto *tabs = w.findChild<QTabWidget *>("tabWidget");
        auto cycle = [&] {
            w.findChild<QComboBox *>("comboBoxIP")->setEditText(QStringLiteral("127.0.0.1"));
            w.findChild<QLineEdit *>("lineEditPort")->setText(QString::number(host.port()));
            w.findChild<QPushButton *>("pushButtonOpen")->click();
            QCOMPARE(tabs->count(), 1);
            emit tabs->tabCloseRequested(0);
            QCOMPARE(tabs->count(), 0);
            QCoreApplication::processEvents();
        };
        for (int i = 0; i < 10; ++i)
            cycle();
        const long rss = rssKb();
        const long th = threads();
        for (int i = 0; i < 100 * scale(); ++i)
            cycle();
        // A joined thread may still be on its way out of the kernel's list for a moment.
        QTRY_VERIFY2_WITH_TIMEOUT(threads() <= th, "no thread is left behind", 5000);
        QVERIFY(memorySettled(rss));
    }
};

QTEST_MAIN(TstSoak)
#include "tst_soak.moc"
