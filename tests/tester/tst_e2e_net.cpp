// The network tester end to end: the real network board library in this process, a simulated
// card in a kavro-board-host process on 127.0.0.1, and the window driven as a user drives it.
#include "tester/devicemanager.h"
#include "tester/gqtranslatormanager.h"
#include "hostprocess.h"
#include "panel/kavrowidget.h"
#include "panel/ledbutton.h"
#include "panel/ledwidget.h"
#include "tester/mainwindow.h"
#include "shelltesthelpers.h"
#include "tester/simpleprogressdialog.h"

#include <memory>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QStandardPaths>
#include <QTabWidget>
#include <QtTest>

class TstE2eNet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QFile::remove(testerSettingsPath());
        QCoreApplication::setApplicationVersion(QStringLiteral("6.25.301.1"));
        registerSearchTypes();
        QSettings(testerSettingsPath(), QSettings::IniFormat)
            .setValue(QStringLiteral("Language/CurLan"), 1);
        applySavedLanguage(testerVariant());
        DeviceManager::setDiscoveryTargetsForTest({{QHostAddress::LocalHost, 23456}});
    }

    void aCardOnTheBoardFollowsInTheTester()
    {
        auto host = std::make_unique<HostProcess>(0, true);
        QVERIFY(host->started());

        MainWindow w(testerVariant());
        w.show();
        QTRY_VERIFY(child<QPushButton>(&w, "pushButtonRefresh")->isEnabled());
        QCOMPARE(w.windowTitle(), QStringLiteral("KAVRO AppVer:6.25.301.1  DllVer:1.0.0.0"));

        child<QComboBox>(&w, "comboBoxIP")->setEditText(QStringLiteral("127.0.0.1"));
        child<QLineEdit>(&w, "lineEditPort")->setText(QString::number(host->port()));
        child<QPushButton>(&w, "pushButtonOpen")->click();
        KAVROWidget *panel = w.panelFor(0);
        QVERIFY(panel);
        QCOMPARE(child<QLineEdit>(panel, "lineEditCardType")->text(), QStringLiteral("32In32Out"));
        QCOMPARE(child<QLineEdit>(panel, "lineEditFirmwareVer")->text(), QStringLiteral("12"));
        QTRY_COMPARE(child<QLabel>(panel, "labelIsConnectedTxt")->text(),
                     QStringLiteral("Connected"));

        // An input switched on the board lights its lamp in the panel.
        host->setInput(5, true);
        QTRY_VERIFY(panel->inputLed(5)->ledButton()->isChecked());
        QVERIFY(!panel->inputLed(4)->ledButton()->isChecked());

        // Output lamp 3 clicked in the panel switches output 3 on the board.
        QTest::mouseClick(panel->outputLed(3), Qt::LeftButton);
        QVERIFY(host->waitForLine("out 3 1"));
        QTRY_VERIFY(panel->outputLed(3)->ledButton()->isChecked());

        // The Search button finds the board over UDP.
        auto seen = answerBoxes();
        child<QPushButton>(&w, "pushButtonSearch")->click();
        QTRY_VERIFY_WITH_TIMEOUT(seen->count == 1, 5000);
        QVERIFY2(seen->text.startsWith(QStringLiteral("The board number of the KAVRO card has "
                                                      "been found:\n\r[02:DE:")),
                 qPrintable(seen->text));
        QVERIFY2(seen->text.endsWith(QStringLiteral("]127.0.0.1")), qPrintable(seen->text));

        // The board goes away: the panel says so within about a second of the poll.
        host.reset();
        QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(panel, "labelIsConnectedTxt")->text(),
                                  QStringLiteral("Disconnected"), 7000);
    }

    void sixteenCardsOfOneHostInSixteenTabs()
    {
        // Card i of the host listens on 127.0.0.(i + 1); each tab must follow its own card.
        constexpr int cards = 16;
        HostProcess host(0, false, {"--cards", std::to_string(cards)});
        QVERIFY(host.started());
        std::vector<quint16> ports{host.port()};
        for (int i = 1; i < cards; ++i) {
            const std::string line = host.waitForLineStarting("listening ");
            QVERIFY(!line.empty());
            QVERIFY2(line.rfind("listening 127.0.0." + std::to_string(i + 1) + ":", 0) == 0,
                     line.c_str());
            ports.push_back(quint16(std::stoi(line.substr(line.rfind(':') + 1))));
        }

        MainWindow w(testerVariant());
        w.show();
        QTRY_VERIFY(child<QPushButton>(&w, "pushButtonRefresh")->isEnabled());
        for (int i = 0; i < cards; ++i) {
            child<QComboBox>(&w, "comboBoxIP")
                ->setEditText(QStringLiteral("127.0.0.%1").arg(i + 1));
            child<QLineEdit>(&w, "lineEditPort")->setText(QString::number(ports[std::size_t(i)]));
            child<QPushButton>(&w, "pushButtonOpen")->click();
            QVERIFY2(w.panelFor(i), qPrintable(QString::number(i)));
        }
        QCOMPARE(child<QTabWidget>(&w, "tabWidget")->count(), cards);

        // Input i of card i only: every tab lights its own lamp and no other.
        for (int i = 0; i < cards; ++i)
            host.sendLine("in " + std::to_string(i) + " " + std::to_string(i) + " 1");
        for (int i = 0; i < cards; ++i) {
            KAVROWidget *panel = w.panelFor(i);
            QTRY_VERIFY2(panel->inputLed(i)->ledButton()->isChecked(),
                         qPrintable(QString::number(i)));
            for (int bit = 0; bit < cards; ++bit)
                if (bit != i)
                    QVERIFY(!panel->inputLed(bit)->ledButton()->isChecked());
        }

        // A picture for whoever runs this by hand: KAVRO_E2E_SHOTS names a folder.
        if (const QString dir = qEnvironmentVariable("KAVRO_E2E_SHOTS"); !dir.isEmpty()) {
            child<QTabWidget>(&w, "tabWidget")->setCurrentIndex(9);
            QTest::qWait(200);
            w.grab().save(dir + QStringLiteral("/sixteen-tabs.png"));
        }

        // An output lamp clicked in tab 9 switches that card's output, and only there.
        QTest::mouseClick(w.panelFor(9)->outputLed(2), Qt::LeftButton);
        QVERIFY(host.waitForLine("out 9 2 1"));
        QTRY_VERIFY(w.panelFor(9)->outputLed(2)->ledButton()->isChecked());
        QTest::qWait(100);
        for (int i = 0; i < cards; ++i)
            if (i != 9)
                QVERIFY(!w.panelFor(i)->outputLed(2)->ledButton()->isChecked());
    }
};

QTEST_MAIN(TstE2eNet)
#include "tst_e2e_net.moc"
