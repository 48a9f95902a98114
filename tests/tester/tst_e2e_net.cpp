// The network tester end to end: the real network board library in this process, a simulated
// card in a kavro-board-host process on 127.0.0.1, and the window driven as a user drives it.
#include "devicemanager.h"
#include "gqtranslatormanager.h"
#include "hostprocess.h"
#include "kavrowidget.h"
#include "ledbutton.h"
#include "ledwidget.h"
#include "mainwindow.h"
#include "shelltesthelpers.h"
#include "simpleprogressdialog.h"

#include <memory>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QStandardPaths>
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
        applySavedLanguage();
        DeviceManager::setDiscoveryTargetsForTest({{QHostAddress::LocalHost, 23456}});
    }

    void aCardOnTheBoardFollowsInTheTester()
    {
        auto host = std::make_unique<HostProcess>(0, true);
        QVERIFY(host->started());

        MainWindow w;
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
};

QTEST_MAIN(TstE2eNet)
#include "tst_e2e_net.moc"
