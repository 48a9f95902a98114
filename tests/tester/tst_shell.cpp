// The network tester's shell against the scriptable stand-in of the board library, with real
// UDP responders on this machine for the card search.
#include "tester/devicemanager.h"
#include "fakeboard.h"
#include "tester/gqtranslatormanager.h"
#include "panel/kavrowidget.h"
#include "tester/mainwindow.h"
#include "virtualboard/mcudevice.h"
#include "shelltesthelpers.h"
#include "tester/simpleprogressdialog.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSettings>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTranslator>
#include <QUdpSocket>
#include <QtTest>

using kavro::fake::FakeBoard;

namespace {

FakeBoard &fake()
{
    return FakeBoard::instance();
}

QSettings settings()
{
    return QSettings(testerSettingsPath(), QSettings::IniFormat);
}

// Counts language-change events that reach a widget.
class LanguageEvents : public QObject
{
public:
    int count = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::LanguageChange)
            ++count;
        return false;
    }
};

// A UDP responder that answers every request with fixed datagrams, on a thread of its own, so
// that a discovery pass can block the test's thread.
class ScriptedResponder
{
public:
    explicit ScriptedResponder(std::vector<std::string> replies) : m_replies(std::move(replies))
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&a), &len);
        m_port = ntohs(a.sin_port);
        timeval tv{0, 100000};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        m_thread = std::thread([this] {
            char buf[256];
            while (!m_stop) {
                sockaddr_in from{};
                socklen_t fromLen = sizeof from;
                if (::recvfrom(m_fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&from),
                               &fromLen) <= 0)
                    continue;
                for (const std::string &r : m_replies)
                    ::sendto(m_fd, r.data(), r.size(), 0, reinterpret_cast<sockaddr *>(&from),
                             fromLen);
            }
        });
    }
    ~ScriptedResponder()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }
    quint16 port() const { return m_port; }

private:
    std::vector<std::string> m_replies;
    int m_fd = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace

class TstShell : public QObject
{
    Q_OBJECT

    // A window whose start-up search has delivered.
    static std::unique_ptr<MainWindow> makeWindow(bool show = true)
    {
        auto w = std::make_unique<MainWindow>(testerVariant());
        if (show)
            w->show();
        const bool delivered = QTest::qWaitFor(
            [&] { return child<QPushButton>(w.get(), "pushButtonRefresh")->isEnabled(); }, 5000);
        return delivered ? std::move(w) : nullptr;
    }

    static void openKey(MainWindow &w, const QString &ip, const QString &port)
    {
        child<QComboBox>(&w, "comboBoxIP")->setEditText(ip);
        child<QLineEdit>(&w, "lineEditPort")->setText(port);
        child<QPushButton>(&w, "pushButtonOpen")->click();
    }

    static QStringList tabTitles(MainWindow &w)
    {
        auto *tabs = child<QTabWidget>(&w, "tabWidget");
        QStringList titles;
        for (int i = 0; i < tabs->count(); ++i)
            titles << tabs->tabText(i);
        return titles;
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setApplicationVersion(QStringLiteral("6.25.301.1"));
        registerSearchTypes();
        // Discovery never leaves this machine in a test.
        DeviceManager::setDiscoveryTargetsForTest({{QHostAddress::LocalHost, 9}});
    }

    void init()
    {
        QFile::remove(testerSettingsPath());
        fake().reset();
    }

    // The three start-up cases run first and in this order: the manager is one per process.
    void startupWithAnUnknownLanguage()
    {
        settings().setValue(QStringLiteral("Language/CurLan"), 7);
        applySavedLanguage(testerVariant());
        QCOMPARE(GQTranslatorManager::instance()->language(), GQTranslatorManager::LAG_MAX);
        auto w = makeWindow();
        QVERIFY(w);
        QCOMPARE(child<QComboBox>(w.get(), "comboBoxLanguage")->currentIndex(), -1);
        QCOMPARE(child<QPushButton>(w.get(), "pushButtonOpen")->text(), QStringLiteral("Open"));
    }

    void startupInEnglish()
    {
        settings().setValue(QStringLiteral("Language/CurLan"), 1);
        applySavedLanguage(testerVariant());
        auto w = makeWindow();
        QVERIFY(w);
        QCOMPARE(child<QComboBox>(w.get(), "comboBoxLanguage")->currentText(),
                 QStringLiteral("English"));
        QCOMPARE(child<QLabel>(w.get(), "labelHome")->text(), QStringLiteral("Welcome to KAVRO"));
    }

    void startupWithoutSettingsIsChinese()
    {
        applySavedLanguage(testerVariant());
        QCOMPARE(GQTranslatorManager::instance()->language(), GQTranslatorManager::ZH_CN);
        auto w = makeWindow();
        QVERIFY(w);
        QCOMPARE(child<QComboBox>(w.get(), "comboBoxLanguage")->currentIndex(), 0);
        QCOMPARE(child<QComboBox>(w.get(), "comboBoxLanguage")->currentText(),
                 QStringLiteral("中文"));
        QCOMPARE(child<QPushButton>(w.get(), "pushButtonOpen")->text(), QStringLiteral("打开"));
        QCOMPARE(child<QLabel>(w.get(), "label")->text(), QStringLiteral("IP地址"));
        QCOMPARE(child<QLineEdit>(w.get(), "lineEditPort")->text(), QString());
        QCOMPARE(child<QStackedWidget>(w.get(), "stackedWidget")->currentIndex(), 0);
        // No board library is loaded in this test: the bare version line.
        QCOMPARE(w->windowTitle(), QStringLiteral("KAVRO AppVer:6.25.301.1"));
        auto *ips = child<QComboBox>(w.get(), "comboBoxIP");
        QVERIFY(ips->count() >= 1);
        QCOMPARE(ips->itemText(ips->count() - 1), QStringLiteral("127.0.0.1"));
        QCOMPARE(ips->currentIndex(), 0);
        GQTranslatorManager::instance()->setLanguage(GQTranslatorManager::EN_US);
        QTRY_COMPARE(w->windowTitle(), QStringLiteral("KAVROApp")); // the caption after a change
    }

    // The language box fits its longest item whichever language the window was first shown in.
    void languageBoxFitsItsItemsAfterASwitch()
    {
        using M = GQTranslatorManager;
        const QMap<M::Language, QStringList> names = {
            {M::ZH_CN, {QStringLiteral("中文"), QStringLiteral("英语")}},
            {M::EN_US, {QStringLiteral("Chinese"), QStringLiteral("English")}}};
        M *languages = M::instance();
        languages->setCatalogueBase(testerVariant().catalogueBase); // as the start-up does
        for (const M::Language first : {M::ZH_CN, M::EN_US}) {
            const M::Language other = first == M::ZH_CN ? M::EN_US : M::ZH_CN;
            languages->setLanguage(first);
            auto w = makeWindow();
            QVERIFY(w);
            auto *box = child<QComboBox>(w.get(), "comboBoxLanguage");
            QCOMPARE(box->itemText(1), names[first][1]);
            // Ends in English, as the later cases expect.
            for (const M::Language now : {other, first, M::EN_US}) {
                languages->setLanguage(now);
                QTRY_COMPARE(box->itemText(1), names[now][1]);
                // What a box filled with these items from the start asks for.
                QComboBox fresh;
                fresh.setFont(box->font());
                fresh.addItems(names[now]);
                const int needed = fresh.sizeHint().width();
                QTRY_VERIFY2(box->width() >= needed,
                             qPrintable(QStringLiteral("%1 is %2 wide, needs %3")
                                            .arg(names[now].join(QLatin1Char('/')))
                                            .arg(box->width())
                                            .arg(needed)));
            }
        }
    }

    void cardNumbersFollowTheTabs()
    {
        auto w = makeWindow();
        QVERIFY(w);
        openKey(*w, QStringLiteral("10.0.0.5"), QStringLiteral("8088"));
        openKey(*w, QStringLiteral("10.0.0.6"), QStringLiteral("8088"));
        QCOMPARE(tabTitles(*w), (QStringList{"0-10.0.0.5", "1-10.0.0.6"}));
        QCOMPARE(child<QStackedWidget>(w.get(), "stackedWidget")->currentIndex(), 1);
        QCOMPARE(fake().callsOf("iolb_board_open")[1].text, std::string("10.0.0.6:8088"));

        // The tab's own close button frees the number.
        emit child<QTabWidget>(w.get(), "tabWidget")->tabCloseRequested(0);
        openKey(*w, QStringLiteral("10.0.0.7"), QStringLiteral("8088"));
        QCOMPARE(tabTitles(*w), (QStringList{"1-10.0.0.6", "0-10.0.0.7"}));

        // Close keeps the number reserved.
        child<QComboBox>(w.get(), "comboBoxIP")->setEditText(QStringLiteral("10.0.0.7"));
        child<QPushButton>(w.get(), "pushButtonClose")->click();
        openKey(*w, QStringLiteral("10.0.0.8"), QStringLiteral("8088"));
        QCOMPARE(tabTitles(*w), (QStringList{"1-10.0.0.6", "2-10.0.0.8"}));
        openKey(*w, QStringLiteral("10.0.0.7"), QStringLiteral("8088"));
        QCOMPARE(tabTitles(*w).last(), QStringLiteral("0-10.0.0.7"));

        // The same key again: the library is asked again, no second tab.
        const auto opens = fake().callsOf("iolb_board_open").size();
        openKey(*w, QStringLiteral("10.0.0.8"), QStringLiteral("8088"));
        QCOMPARE(fake().callsOf("iolb_board_open").size(), opens + 1);
        QCOMPARE(tabTitles(*w).size(), 3);

        // Closing the last tab either way returns to the welcome page.
        while (child<QTabWidget>(w.get(), "tabWidget")->count() > 0)
            emit child<QTabWidget>(w.get(), "tabWidget")->tabCloseRequested(0);
        QCOMPARE(child<QStackedWidget>(w.get(), "stackedWidget")->currentIndex(), 0);
    }

    void seventeenthKeyGets65535()
    {
        auto w = makeWindow();
        QVERIFY(w);
        for (int i = 0; i < 16; ++i)
            QCOMPARE(w->cardNumberFor(QStringLiteral("10.0.1.%1:1").arg(i)), i);
        QCOMPARE(w->cardNumberFor(QStringLiteral("10.0.1.99:1")), -1);
        fake().setResult("iolb_board_open", 1);
        auto seen = answerBoxes();
        openKey(*w, QStringLiteral("10.0.1.99"), QStringLiteral("1"));
        QCOMPARE(fake().callsOf("iolb_board_open").back().args[0], 65535LL);
        QCOMPARE(seen->title, QStringLiteral("Failed to open"));
    }

    void emptyFieldsAndFailedOpens()
    {
        auto w = makeWindow();
        QVERIFY(w);
        auto seen = answerBoxes();
        openKey(*w, QString(), QStringLiteral("8088"));
        QCOMPARE(seen->title, QStringLiteral("Error"));
        QCOMPARE(seen->text, QStringLiteral("The IP address cannot be empty."));
        QCOMPARE(seen->icon, QMessageBox::Critical);
        openKey(*w, QStringLiteral("10.0.0.5"), QString());
        QCOMPARE(seen->text, QStringLiteral("The Port cannot be empty."));
        QVERIFY(!settings().contains(QStringLiteral("CardLast/IP")));
        QVERIFY(fake().callsOf("iolb_board_open").empty());

        fake().setResult("iolb_board_open", 2);
        openKey(*w, QStringLiteral("10.0.0.9"), QStringLiteral("502"));
        QCOMPARE(seen->title, QStringLiteral("Failed to open"));
        QCOMPARE(seen->text, QStringLiteral("Error Code(2):Failed to open board: The port does not "
                                            "exist or is already in use"));
        QCOMPARE(tabTitles(*w), QStringList());
        QCOMPARE(settings().value(QStringLiteral("CardLast/IP")).toString(),
                 QStringLiteral("10.0.0.9"));
        QCOMPARE(settings().value(QStringLiteral("CardLast/Port")).toString(),
                 QStringLiteral("502"));
        QCOMPARE(w->cardNumberFor(QStringLiteral("10.0.0.9:502")), 0); // still reserved
        QCOMPARE(w->cardNumberFor(QStringLiteral("10.0.0.10:502")), 1);
    }

    void lastConnectionIsRestored()
    {
        settings().setValue(QStringLiteral("CardLast/IP"), QStringLiteral("10.9.8.7"));
        settings().setValue(QStringLiteral("CardLast/Port"), QStringLiteral("8088"));
        auto w = std::make_unique<MainWindow>(testerVariant());
        auto *ips = child<QComboBox>(w.get(), "comboBoxIP");
        QCOMPARE(child<QLineEdit>(w.get(), "lineEditPort")->text(), QStringLiteral("8088"));
        QVERIFY(ips->currentText() != QStringLiteral("10.9.8.7"));
        QTest::qWait(150); // the 100 ms timer, before the event loop saw the search's result
        QTRY_COMPARE(ips->currentText(), QStringLiteral("10.9.8.7"));
        QTRY_VERIFY(child<QPushButton>(w.get(), "pushButtonRefresh")->isEnabled());
    }

    void languageManagerLoadsMatchingCatalogues()
    {
        // A folder of catalogues: the tester's own, a later-named one that overrides "Open",
        // and one whose name differs in case only.
        QTemporaryDir dir;
        const QString bin = QCoreApplication::applicationDirPath();
        QVERIFY(QFile::copy(bin + "/KAVROApp_Net_zh_CN.qm", dir.filePath("KAVROApp_Net_zh_CN.qm")));
        QVERIFY(QFile::copy(bin + "/shell_override.qm", dir.filePath("KAVROApp_Net_zh_CN.qm.z")));
        QVERIFY(QFile::copy(bin + "/shell_wrongcase.qm", dir.filePath("kavroapp_net_zh_cn.qm")));
        GQTranslatorManager::setCatalogueFolderForTest(dir.path());
        GQTranslatorManager *m = GQTranslatorManager::instance();
        m->setLanguage(GQTranslatorManager::EN_US);

        auto w = makeWindow();
        QVERIFY(w);
        fake().setBoardInfo(12, 7);
        openKey(*w, QStringLiteral("10.0.0.5"), QStringLiteral("8088"));
        auto *panel = w->panelFor(0);
        QVERIFY(panel);
        LanguageEvents events;
        w->installEventFilter(&events);
        QSignalSpy changed(m, &GQTranslatorManager::languageChanged);

        m->setLanguage(GQTranslatorManager::ZH_CN);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(m->loadedTranslators().size(), 2);
        QTRY_COMPARE(child<QPushButton>(w.get(), "pushButtonOpen")->text(),
                     QStringLiteral("OPEN-B"));
        QCOMPARE(child<QPushButton>(w.get(), "pushButtonSearch")->text(), QStringLiteral("搜索"));
        QCOMPARE(panel->findChild<QGroupBox *>("groupBoxInput")->title(), QStringLiteral("输入"));
        QCOMPARE(child<QComboBox>(w.get(), "comboBoxLanguage")->itemText(1),
                 QStringLiteral("英语"));

        const int before = events.count;
        m->setLanguage(GQTranslatorManager::ZH_CN); // already current: nothing
        QCoreApplication::processEvents();
        QCOMPARE(events.count, before);
        QCOMPARE(changed.count(), 1);

        m->setLanguage(GQTranslatorManager::EN_US);
        QCOMPARE(m->loadedTranslators().size(), 0);
        QTRY_COMPARE(child<QPushButton>(w.get(), "pushButtonOpen")->text(), QStringLiteral("Open"));
        QCOMPARE(panel->findChild<QGroupBox *>("groupBoxInput")->title(), QStringLiteral("Input"));
        QCOMPARE(changed.count(), 1); // no English catalogue, so nothing was installed

        // Without a Chinese catalogue the texts stay English; the choice is still stored.
        QTemporaryDir empty;
        GQTranslatorManager::setCatalogueFolderForTest(empty.path());
        child<QComboBox>(w.get(), "comboBoxLanguage")->setCurrentIndex(0);
        QCOMPARE(settings().value(QStringLiteral("Language/CurLan")).toInt(), 0);
        QCOMPARE(m->language(), GQTranslatorManager::ZH_CN);
        QCOMPARE(child<QPushButton>(w.get(), "pushButtonOpen")->text(), QStringLiteral("Open"));
        GQTranslatorManager::setCatalogueFolderForTest(QString());
        m->setLanguage(GQTranslatorManager::EN_US);
    }

    void progressDialogRefusesToGoAndCanBeDragged()
    {
        QWidget parent;
        parent.resize(400, 300);
        parent.show();
        SimpleProgressDialog dialog(QStringLiteral("Searching"), QStringLiteral("Cancel"), 0, 0,
                                    &parent);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.progressBar->maximum(), 0);
        QVERIFY(dialog.minimumWidth() >= 280 && dialog.minimumHeight() >= 100);
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
        QVERIFY(!dialog.close());
        QVERIFY(dialog.isVisible());

        const QPoint start = dialog.pos();
        QTest::mousePress(&dialog, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
        QMouseEvent move(QEvent::MouseMove, QPoint(40, 30), dialog.mapToGlobal(QPoint(40, 30)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&dialog, &move);
        QCOMPARE(dialog.pos(), start + QPoint(30, 20));
        QMouseEvent rightMove(QEvent::MouseMove, QPoint(90, 90), dialog.mapToGlobal(QPoint(90, 90)),
                              Qt::NoButton, Qt::RightButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&dialog, &rightMove);
        QCOMPARE(dialog.pos(), start + QPoint(30, 20));
    }

    void cardSearchFindsRespondersInMacOrder()
    {
        MCUDevice second(QStringLiteral("02:DE:00:00:00:02"), QString(), QString(),
                         QStringLiteral("10.0.0.1"), 23457);
        MCUDevice first(QStringLiteral("02:DE:00:00:00:01"), QString(), QString(),
                        QStringLiteral("10.0.0.1"), 23456);
        QVERIFY(second.start(QStringLiteral("127.0.0.2")));
        QVERIFY(first.start(QStringLiteral("127.0.0.1")));
        DeviceManager::setDiscoveryTargetsForTest(
            {{QHostAddress::LocalHost, 23457}, {QHostAddress::LocalHost, 23456}});
        auto w = makeWindow();
        QVERIFY(w);
        auto seen = answerBoxes();
        child<QPushButton>(w.get(), "pushButtonSearch")->click();
        QVERIFY(!child<QPushButton>(w.get(), "pushButtonSearch")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(seen->count == 1, 5000);
        QVERIFY(!seen->progressVisible);
        QCOMPARE(seen->title, QStringLiteral("Information"));
        QCOMPARE(seen->text, QStringLiteral("The board number of the KAVRO card has been found:\n\r"
                                            "[02:DE:00:00:00:01]127.0.0.1,"
                                            "[02:DE:00:00:00:02]127.0.0.2"));
        auto *ips = child<QComboBox>(w.get(), "comboBoxIP");
        QCOMPARE(ips->count(), 2);
        QCOMPARE(ips->itemText(0), QStringLiteral("127.0.0.1"));
        QCOMPARE(ips->currentIndex(), 0);
        QVERIFY(child<QPushButton>(w.get(), "pushButtonSearch")->isEnabled());
        QVERIFY(w->findChildren<SimpleProgressDialog *>().isEmpty() || QTest::qWaitFor([&] {
                    return w->findChildren<SimpleProgressDialog *>().isEmpty();
                }));
        DeviceManager::setDiscoveryTargetsForTest({{QHostAddress::LocalHost, 9}});
    }

    void cardSearchWithNoCardEmptiesTheList()
    {
        auto w = makeWindow();
        QVERIFY(w);
        auto seen = answerBoxes();
        child<QPushButton>(w.get(), "pushButtonSearch")->click();
        const auto dialogs = w->findChildren<SimpleProgressDialog *>();
        QVERIFY(dialogs.size() == 1 && dialogs.first()->isVisible()); // shown while it searches
        QTRY_VERIFY_WITH_TIMEOUT(seen->count == 1, 5000);
        QVERIFY2(!seen->progressVisible, "the progress dialog stays behind the result");
        QCOMPARE(seen->title, QStringLiteral("Information"));
        QCOMPARE(seen->text, QStringLiteral("KAVRO card not found!"));
        QCOMPARE(child<QComboBox>(w.get(), "comboBoxIP")->count(), 0);
    }

    void cancelledSearchesLeaveTheList()
    {
        auto w = makeWindow();
        QVERIFY(w);
        auto *ips = child<QComboBox>(w.get(), "comboBoxIP");
        ips->clear();
        ips->addItem(QStringLiteral("keep me"));
        auto seen = answerBoxes();

        for (const char *button : {"pushButtonSearch", "pushButtonRefresh"}) {
            child<QPushButton>(w.get(), button)->click();
            auto dialogs = w->findChildren<SimpleProgressDialog *>();
            QCOMPARE(dialogs.size(), 1);
            SimpleProgressDialog *dialog = dialogs.first();
            dialog->cancelButton->click();
            QCOMPARE(dialog->messageLabel->text(), QStringLiteral("Cancelling operation..."));
            QVERIFY(!dialog->cancelButton->isEnabled());
            QTRY_VERIFY_WITH_TIMEOUT(child<QPushButton>(w.get(), button)->isEnabled(), 5000);
            QTRY_VERIFY(w->findChildren<SimpleProgressDialog *>().isEmpty());
            QCOMPARE(ips->count(), 1);
            QCOMPARE(ips->itemText(0), QStringLiteral("keep me"));
        }
        QCOMPARE(seen->count, 0);
    }

    void searchWithoutADiscoverySocketStillEnds()
    {
        QUdpSocket occupier;
        QVERIFY(occupier.bind(QHostAddress::Any, 0, QUdpSocket::DontShareAddress));
        DeviceManager::setBindPortForTest(occupier.localPort());
        DeviceManager::resetInstanceForTest();
        auto w = makeWindow();
        QVERIFY(w);
        auto seen = answerBoxes();
        child<QPushButton>(w.get(), "pushButtonSearch")->click();
        QTRY_VERIFY_WITH_TIMEOUT(seen->count == 1, 5000);
        QCOMPARE(seen->text, QStringLiteral("KAVRO card not found!"));
        QVERIFY(child<QPushButton>(w.get(), "pushButtonSearch")->isEnabled());
        DeviceManager::setBindPortForTest(0);
        DeviceManager::resetInstanceForTest();
    }

    void windowClosingDuringASearchEndsCleanly()
    {
        auto w = makeWindow();
        QVERIFY(w);
        child<QPushButton>(w.get(), "pushButtonSearch")->click();
        QElapsedTimer timer;
        timer.start();
        w.reset(); // the worker is still in its discovery pass
        QVERIFY(timer.elapsed() < 2500);
        QTest::qWait(50); // nothing may be delivered to the gone window
    }

    void discoveryReplyRules()
    {
        ScriptedResponder responder({
            "RESP:INFO;02:DE:00:00:00:09;1.1.1.9;255.0.0.0",         // four parts: dropped
            "resp:info;02:DE:00:00:00:08;1.1.1.8;255.0.0.0;1.1.1.1", // case: dropped
            "RESP:INFO;02:DE:00:00:00:02;1.1.1.2;255.0.0.0;1.1.1.1", // five parts: accepted
            "RESP:INFO;02:DE:00:00:00:01;1.1.1.1;255.0.0.0;1.1.1.1;23456",
            "RESP:INFO;02:DE:00:00:00:01;1.1.1.1;255.0.0.0;1.1.1.1;23456", // the same card again
        });
        DeviceManager::setDiscoveryTargetsForTest({{QHostAddress::LocalHost, responder.port()}});
        DeviceManager manager;
        QSignalSpy updates(&manager, &DeviceManager::deviceUpdated);
        QElapsedTimer timer;
        timer.start();
        const auto found = manager.discoverDevices(300);
        QVERIFY(timer.elapsed() >= 300);
        QCOMPARE(int(found.size()), 2);
        QCOMPARE(found[0].mac, QStringLiteral("02:DE:00:00:00:01"));
        QCOMPARE(found[1].mac, QStringLiteral("02:DE:00:00:00:02"));
        QCOMPARE(found[1].ip, QStringLiteral("1.1.1.2"));
        QCOMPARE(found[1].subnetMask, QStringLiteral("255.0.0.0"));
        QCOMPARE(found[1].gateway, QStringLiteral("1.1.1.1"));
        QCOMPARE(found[1].port, quint16(23456));
        QVERIFY(found[1].online);
        QVERIFY(found[1].lastSeen.isValid());
        QCOMPARE(updates.count(), 3);
        QVERIFY(!DeviceInfo().online);
        QCOMPARE(DeviceInfo().port, quint16(0));

        // Ageing: a card silent for more than 300 seconds is forgotten.
        QCOMPARE(manager.rememberedCount(), 2);
        const QDateTime seen = found[0].lastSeen;
        DeviceManager::setClockForTest([seen] { return seen.addSecs(300); });
        manager.removeStaleDevices();
        QCOMPARE(manager.rememberedCount(), 2);
        DeviceManager::setClockForTest([seen] { return seen.addSecs(302); });
        manager.removeStaleDevices();
        QCOMPARE(manager.rememberedCount(), 0);
        DeviceManager::setClockForTest(nullptr);
        DeviceManager::setDiscoveryTargetsForTest({{QHostAddress::LocalHost, 9}});
    }

    void discoveryBindFailure()
    {
        QUdpSocket occupier;
        QVERIFY(occupier.bind(QHostAddress::Any, 0, QUdpSocket::DontShareAddress));
        DeviceManager::setBindPortForTest(occupier.localPort());
        bool thrown = false;
        try {
            DeviceManager manager;
        } catch (const std::runtime_error &e) {
            thrown = QString::fromLatin1(e.what()) == QLatin1String("Failed to bind socket");
        }
        DeviceManager::setBindPortForTest(0);
        QVERIFY(thrown);
    }
};

QTEST_MAIN(TstShell)
#include "tst_shell.moc"
