// The serial-port and PCIe testers end to end with their own board libraries: the serial one
// through a pseudo-terminal bridged to a board host, the PCIe one on its simulated cards.
#include "tester/gqtranslatormanager.h"
#include "kavro_iolb.h"
#include "panel/kavrowidget.h"
#include "panel/ledbutton.h"
#include "panel/ledwidget.h"
#include "tester/mainwindow.h"
#include "shelltesthelpers.h"
#include "tester/simpleprogressdialog.h"

#ifdef KAVRO_E2E_COM
#include "tester/comvariant.h"
#include "hostprocess.h"
#include "ptybridge.h"
#endif

#include <cstdlib>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QStandardPaths>
#include <QtTest>

class TstE2eOther : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setApplicationVersion(QStringLiteral("6.25.301.1"));
        registerSearchTypes();
        GQTranslatorManager::instance()->setLanguage(GQTranslatorManager::EN_US);
    }

#ifdef KAVRO_E2E_COM
    void serialCardFollowsTheHost()
    {
        HostProcess host;
        QVERIFY(host.started());
        PtyBridge bridge(host.port());
        QVERIFY(bridge.ready());
        const QString port = QString::fromStdString(bridge.port());
        setSerialPortsForTest([port] { return QVector<SerialPortEntry>{{ port, false }}; });

        MainWindow w(testerVariant());
        w.show();
        QTRY_VERIFY(child<QPushButton>(&w, "pushButtonRefresh")->isEnabled());
        QVERIFY(w.windowTitle().endsWith(QStringLiteral("  DllVer:1.0.0.0")));
        auto *board = child<QComboBox>(&w, "comboBoxBoardNo");
        QCOMPARE(board->currentText(), port);
        child<QPushButton>(&w, "pushButtonOpen")->click();
        KAVROWidget *panel = w.panelFor(0);
        QVERIFY(panel);
        QTRY_COMPARE(child<QLabel>(panel, "labelIsConnectedTxt")->text(),
                     QStringLiteral("Connected"));
        host.setInput(6, true);
        QTRY_VERIFY(panel->inputLed(6)->ledButton()->isChecked());
        QTest::mouseClick(panel->outputLed(1), Qt::LeftButton);
        QVERIFY(host.waitForLine("out 1 1"));
    }
#else
    void pcieCardsLoopBackAndPulse()
    {
        MainWindow w(testerVariant());
        w.show();
        QVERIFY(w.windowTitle().endsWith(QStringLiteral("  DllVer:1.0.0.0")));

        auto seen = answerBoxes();
        child<QPushButton>(&w, "pushButtonSearch")->click();
        QTRY_VERIFY_WITH_TIMEOUT(seen->count == 1, 5000);
        QCOMPARE(seen->text,
                 QStringLiteral("The board number of the KAVRO card has been found:\n\r0,2"));
        auto *board = child<QComboBox>(&w, "comboBoxBoardNo");
        QCOMPARE(board->count(), 2);
        QCOMPARE(board->itemText(1), QStringLiteral("2"));

        board->setCurrentIndex(1);
        child<QPushButton>(&w, "pushButtonOpen")->click();
        KAVROWidget *panel = w.panelFor(2);
        QVERIFY(panel);
        QCOMPARE(child<QGroupBox>(panel, "groupBoxPulser")->title(),
                 QStringLiteral("Pulse Generator (up to 32 units)"));
        QVERIFY(child<QPushButton>(panel, "pushButtonPulserStart")->isEnabled());

        // The loop-output test walks all outputs; the inputs follow through the loopback.
        child<QLineEdit>(panel, "lineEditSpanTime")->setText(QStringLiteral("0"));
        child<QPushButton>(panel, "pushButtonCycleOutput")->click();
        QTRY_VERIFY_WITH_TIMEOUT(
            child<QLineEdit>(panel, "lineEditTotalCount")->text().toInt() >= 32, 10000);
        child<QPushButton>(panel, "pushButtonCycleOutput")->click();
        QCOMPARE(child<QLineEdit>(panel, "lineEditFailCount")->text(), QStringLiteral("0"));
        QTRY_VERIFY(panel->inputLed(31)->ledButton()->isChecked() ==
                    panel->outputLed(31)->ledButton()->isChecked());
        QTRY_VERIFY(panel->inputLed(0)->ledButton()->isChecked() ==
                    panel->outputLed(0)->ledButton()->isChecked());

        // A pulse train on output 4 runs and ends; input 4 follows it.
        child<QLineEdit>(panel, "lineEditPulserComno")->setText(QStringLiteral("4"));
        child<QLineEdit>(panel, "lineEditPulserCount")->setText(QStringLiteral("3"));
        child<QLineEdit>(panel, "lineEditPulserPosTime")->setText(QStringLiteral("100"));
        child<QLineEdit>(panel, "lineEditPulserNegTime")->setText(QStringLiteral("100"));
        child<QLineEdit>(panel, "lineEditPulserPreTime")->setText(QStringLiteral("0"));
        child<QCheckBox>(panel, "checkBoxPulserPN")->setChecked(true);
        child<QPushButton>(panel, "pushButtonPulserStart")->click();
        QCOMPARE(seen->count, 1); // no failure box
        QTRY_VERIFY(panel->inputLed(4)->ledButton()->isChecked());
        unsigned char busy = 1;
        QTRY_VERIFY_WITH_TIMEOUT((iolb_board_pulser_isbusy(2, 4, &busy), busy == 0), 5000);
        QTRY_VERIFY(!panel->inputLed(4)->ledButton()->isChecked());
    }
#endif
};

QTEST_MAIN(TstE2eOther)
#include "tst_e2e_other.moc"
