// The card panel against the scriptable stand-in of the board library.
#include "panel/cardtype.h"
#include "panel/errortext.h"
#include "fakeboard.h"
#include "panel/kavrowidget.h"
#include "panel/ledbutton.h"
#include "panel/ledwidget.h"
#include "support/messageboxes.h"

#include <climits>
#include <memory>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTranslator>
#include <QtTest>

using kavro::fake::FakeBoard;

namespace {

FakeBoard &fake()
{
    return FakeBoard::instance();
}

QString settingsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) +
           QStringLiteral("/KAVRO.cfg");
}

// Answers the next modal box and hands back its title and text.

std::vector<std::vector<long long>> argsOf(const char *function)
{
    std::vector<std::vector<long long>> out;
    for (const auto &c : fake().callsOf(function))
        out.push_back(c.args);
    return out;
}

} // namespace

class TstKavroWidget : public QObject
{
    Q_OBJECT

    template <typename T> static T *child(QWidget *w, const char *name)
    {
        return w->findChild<T *>(QString::fromLatin1(name));
    }

    std::unique_ptr<KAVROWidget> makePanel(int comno, int type = 7, int version = 12,
                                           PanelVariant variant = {})
    {
        fake().setBoardInfo(std::uint8_t(version), std::uint8_t(type));
        iolb_board_open("127.0.0.1:8088", quint16(comno));
        return std::make_unique<KAVROWidget>(comno, variant);
    }

    static PanelVariant variantOf(bool pcie)
    {
        PanelVariant variant;
        variant.pcie = pcie;
        return variant;
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        QFile::remove(settingsPath());
        fake().reset();
    }

    void settingsFillTheFields()
    {
        {
            QSettings s(settingsPath(), QSettings::IniFormat);
            s.beginGroup(QStringLiteral("Card3"));
            s.setValue(QStringLiteral("pulser_nBit"), 6);
            s.setValue(QStringLiteral("pulser_bPositive"), true);
            s.setValue(QStringLiteral("pulser_dwCount"), 7);
            s.setValue(QStringLiteral("pulser_dwTimePositive"), 11);
            s.setValue(QStringLiteral("pulser_dwTimeNegative"), 12);
            s.setValue(QStringLiteral("pulser_dwTimeFirst"), 13);
            s.setValue(QStringLiteral("cycleoutput_nSpanTime"), 250);
        }
        auto panel = makePanel(3);
        QCOMPARE(child<QLineEdit>(panel.get(), "lineEditPulserComno")->text(), QStringLiteral("6"));
        QVERIFY(child<QCheckBox>(panel.get(), "checkBoxPulserPN")->isChecked());
        QCOMPARE(child<QLineEdit>(panel.get(), "lineEditPulserCount")->text(), QStringLiteral("7"));
        QCOMPARE(child<QLineEdit>(panel.get(), "lineEditPulserPosTime")->text(),
                 QStringLiteral("11"));
        QCOMPARE(child<QLineEdit>(panel.get(), "lineEditPulserNegTime")->text(),
                 QStringLiteral("12"));
        QCOMPARE(child<QLineEdit>(panel.get(), "lineEditPulserPreTime")->text(),
                 QStringLiteral("13"));
        QCOMPARE(child<QLineEdit>(panel.get(), "lineEditSpanTime")->text(), QStringLiteral("250"));

        auto other = makePanel(4); // no group of its own in the file
        for (const char *name :
             {"lineEditPulserComno", "lineEditPulserCount", "lineEditPulserPosTime",
              "lineEditPulserNegTime", "lineEditPulserPreTime", "lineEditSpanTime"})
            QVERIFY2(child<QLineEdit>(other.get(), name)->text().isEmpty(), name);
        QVERIFY(!child<QCheckBox>(other.get(), "checkBoxPulserPN")->isChecked());
    }

    void cardTypes_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("infoResult");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("version");
        QTest::addColumn<int>("inputs");
        QTest::addColumn<int>("outputs");
        QTest::addColumn<int>("groups");
        QTest::newRow("type 2") << 2 << 0 << "5In4Out"
                                << "12" << 5 << 4 << 1;
        QTest::newRow("type 7") << 7 << 0 << "32In32Out"
                                << "12" << 32 << 32 << 1;
        QTest::newRow("type 255") << 255 << 0 << "I/O_MAXADC"
                                  << "12" << 32 << 32 << 5;
        QTest::newRow("unlisted 9") << 9 << 0 << "Unknown"
                                    << "12" << 32 << 32 << 1;
        QTest::newRow("board info fails") << 2 << 21 << "Unknown"
                                          << "Unknown" << 32 << 32 << 1;
    }

    void cardTypes()
    {
        QFETCH(int, type);
        QFETCH(int, infoResult);
        QFETCH(QString, name);
        QFETCH(QString, version);
        QFETCH(int, inputs);
        QFETCH(int, outputs);
        QFETCH(int, groups);
        fake().setResult("iolb_board_getboardinfo", infoResult);
        auto panel = makePanel(0, type);
        QCOMPARE(child<QLineEdit>(panel.get(), "lineEditCardType")->text(), name);
        QCOMPARE(child<QLineEdit>(panel.get(), "lineEditFirmwareVer")->text(), version);
        auto *groupBox = child<QComboBox>(panel.get(), "comboBoxGroupNo");
        QCOMPARE(groupBox->count(), groups);
        QCOMPARE(groupBox->currentIndex(), 0);
        QCOMPARE(groupBox->itemText(groups - 1), QString::number(groups - 1));
        QCOMPARE(groupBox->isEnabled(), groups > 1);
        QCOMPARE(child<QLabel>(panel.get(), "labelGroupNo")->isEnabled(), groups > 1);

        panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(panel.get()));
        auto *inGrid = child<QGroupBox>(panel.get(), "groupBoxInput")->findChild<QGridLayout *>();
        for (int i = 0; i < 32; ++i) {
            QCOMPARE(panel->inputLed(i)->isVisible(), i < inputs);
            QCOMPARE(panel->outputLed(i)->isVisible(), i < outputs);
            QCOMPARE(panel->outputLed(i)->numberLabel()->text(), QString::number(i));
            int row, column, rs, cs;
            inGrid->getItemPosition(inGrid->indexOf(panel->inputLed(i)), &row, &column, &rs, &cs);
            QCOMPARE(row, i / 8);
            QCOMPARE(column, i % 8);
        }
    }

    // The panel of each build from its variant alone: the other build's panel lives beside it,
    // and each keeps its own pulse generator box through a change to Chinese and back.
    void pulserBoxFollowsTheVariant_data()
    {
        QTest::addColumn<bool>("pcie");
        QTest::addColumn<int>("version");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("chineseTitle");
        const QString eight = QStringLiteral("Pulse Generator (up to 8)");
        const QString eightZh = QStringLiteral("脉冲发生器（最多8个）");
        const QString thirtyTwo = QStringLiteral("Pulse Generator (up to 32 units)");
        const QString thirtyTwoZh = QStringLiteral("脉冲发生器（最多32个）");
        QTest::newRow("network or serial, version 10") << false << 10 << false << eight << eightZh;
        QTest::newRow("network or serial, version 11") << false << 11 << true << eight << eightZh;
        QTest::newRow("pcie, version 10") << true << 10 << true << thirtyTwo << thirtyTwoZh;
        QTest::newRow("pcie, version 11") << true << 11 << true << thirtyTwo << thirtyTwoZh;
    }

    void pulserBoxFollowsTheVariant()
    {
        QFETCH(bool, pcie);
        QFETCH(int, version);
        QFETCH(bool, enabled);
        QFETCH(QString, title);
        QFETCH(QString, chineseTitle);
        auto panel = makePanel(0, 7, version, variantOf(pcie));
        auto other = makePanel(1, 7, version, variantOf(!pcie));
        panel->show();
        for (const char *name :
             {"pushButtonPulserStart", "pushButtonPulserStop", "lineEditPulserComno",
              "checkBoxPulserPN", "lineEditPulserCount", "lineEditPulserPosTime",
              "lineEditPulserNegTime", "lineEditPulserPreTime"})
            QCOMPARE(child<QWidget>(panel.get(), name)->isEnabled(), enabled);
        QCOMPARE(child<QLabel>(panel.get(), "label_Pusler_Note")->isVisible(), !enabled);
        auto *box = child<QGroupBox>(panel.get(), "groupBoxPulser");
        QCOMPARE(box->title(), title);
        QVERIFY(child<QGroupBox>(other.get(), "groupBoxPulser")->title() != title);

        QTranslator translator;
        QVERIFY(translator.load(QCoreApplication::applicationDirPath() +
                                QStringLiteral("/kavro_panel_zh_CN.qm")));
        QCoreApplication::installTranslator(&translator);
        QTRY_COMPARE(box->title(), chineseTitle);
        QCoreApplication::removeTranslator(&translator);
        QTRY_COMPARE(child<QGroupBox>(panel.get(), "groupBoxInput")->title(),
                     QStringLiteral("Input"));
        QCOMPARE(box->title(), title);
    }

    void reportsArriveQueuedAndCoalesce()
    {
        auto panel = makePanel(2);
        QVERIFY(fake().hasCallback(2));
        QVERIFY(fake().fireCallback(2, 0, 0x1, 0x2, 0, 0, 10));
        QVERIFY(fake().fireCallback(2, 0, 0x3, 0x4, 0x1, 0x2, 11));
        QVERIFY(fake().fireCallback(2, 0, 0x80000005, 0x80000006, 0x3, 0x4, 12));
        QCOMPARE(panel->lampUpdates(), 0); // nothing happened on the library's thread
        QTRY_COMPARE(panel->lampUpdates(), 1);
        QTest::qWait(40);
        QCOMPARE(panel->lampUpdates(), 1);
        QCOMPARE(child<QLineEdit>(panel.get(), "lineEditFrameNo")->text(), QStringLiteral("12"));
        for (int i = 0; i < 32; ++i) {
            QCOMPARE(panel->inputLed(i)->ledButton()->isChecked(), ((0x80000005u >> i) & 1u) != 0);
            QCOMPARE(panel->outputLed(i)->ledButton()->isChecked(), ((0x80000006u >> i) & 1u) != 0);
        }
        QCOMPARE(panel->outputLed(1)->ledButton()->styleSheet(),
                 QString::fromLatin1(LedButton::OnLook));
        QCOMPARE(panel->outputLed(0)->ledButton()->styleSheet(),
                 QString::fromLatin1(LedButton::OffLook));
    }

    void reportsOfAnotherGroupLeaveTheLamps()
    {
        auto panel = makePanel(2, 255);
        panel->show();
        QVERIFY(fake().fireCallback(2, 1, 0xFF, 0xFF, 0, 0, 3));
        QTest::qWait(50);
        QCOMPARE(panel->lampUpdates(), 0);
        QVERIFY(!panel->inputLed(0)->ledButton()->isChecked());
        QCOMPARE(child<QLineEdit>(panel.get(), "lineEditFrameNo")->text(), QStringLiteral("3"));
        child<QComboBox>(panel.get(), "comboBoxGroupNo")->setCurrentIndex(1);
        QVERIFY(fake().fireCallback(2, 1, 0xF0, 0x0F, 0xFF, 0xFF, 4));
        QTRY_COMPARE(panel->lampUpdates(), 1);
        QVERIFY(panel->inputLed(4)->ledButton()->isChecked());
    }

    void destructionRemovesTheCallbackBeforeClosing()
    {
        auto panel = makePanel(6);
        fake().clearCalls();
        panel.reset();
        const auto calls = fake().calls();
        QCOMPARE(int(calls.size()), 2);
        QCOMPARE(QString::fromStdString(calls[0].function),
                 QStringLiteral("iolb_board_setcallback"));
        QCOMPARE(calls[0].args, (std::vector<long long>{6, 0}));
        QCOMPARE(QString::fromStdString(calls[1].function), QStringLiteral("iolb_board_close"));
        QVERIFY(!fake().hasCallback(6));
    }

    void groupSelectionReadsOnlyWhileVisible()
    {
        fake().setWords(1, 3, 0x10, 0x20);
        auto panel = makePanel(1, 255);
        fake().clearCalls();
        auto *groups = child<QComboBox>(panel.get(), "comboBoxGroupNo");
        groups->setCurrentIndex(2); // hidden: reads nothing
        QVERIFY(fake().callsOf("iolb_read_inport").empty());
        panel->show();
        groups->setCurrentIndex(3);
        QCOMPARE(argsOf("iolb_read_inport"), (std::vector<std::vector<long long>>{{1, 3}}));
        QVERIFY(panel->inputLed(4)->ledButton()->isChecked());
        QVERIFY(panel->outputLed(5)->ledButton()->isChecked());

        fake().clearCalls();
        QTest::mouseClick(panel->outputLed(5), Qt::LeftButton);
        QCOMPARE(argsOf("iolb_write_outbit"), (std::vector<std::vector<long long>>{{1, 101, 0}}));
        QTest::mouseClick(panel->inputLed(5), Qt::LeftButton);
        QCOMPARE(fake().calls().size(), std::size_t(1)); // input lamps are not clickable
        QVERIFY(!panel->inputLed(5)->ledButton()->isChecked());
    }

    void delayedOutputZero()
    {
        auto panel = makePanel(0, 255);
        panel->show();
        auto *check = child<QCheckBox>(panel.get(), "checkBoxIO0Delay");
        QVERIFY(!child<QComboBox>(panel.get(), "comboBoxJD")->isVisible());

        // Unchecked: lamp 0 is an ordinary output.
        QTest::mouseClick(panel->outputLed(0), Qt::LeftButton);
        QCOMPARE(argsOf("iolb_write_outbit").back(), (std::vector<long long>{0, 0, 1}));
        QTest::mouseClick(panel->outputLed(0), Qt::LeftButton);

        check->click();
        QVERIFY(child<QComboBox>(panel.get(), "comboBoxJD")->isVisible());
        QVERIFY(child<QLabel>(panel.get(), "labelBS")->isVisible());
        QCOMPARE(child<QComboBox>(panel.get(), "comboBoxBS")->count(), 9);
        struct Case
        {
            int jd, bs;
            long long code, factor;
        };
        for (const Case &k : {Case{1, 3, 19, 4}, Case{2, 8, 20, 9}, Case{0, 0, 18, 1}}) {
            child<QComboBox>(panel.get(), "comboBoxJD")->setCurrentIndex(k.jd);
            child<QComboBox>(panel.get(), "comboBoxBS")->setCurrentIndex(k.bs);
            fake().clearCalls();
            QTest::mouseClick(panel->outputLed(0), Qt::LeftButton); // on: delayed
            QCOMPARE(argsOf("iolb_write_delayOff"),
                     (std::vector<std::vector<long long>>{{0, k.code, k.factor}}));
            QVERIFY(argsOf("iolb_write_outbit").empty());
            QTest::mouseClick(panel->outputLed(0), Qt::LeftButton); // off: written at once
            QCOMPARE(argsOf("iolb_write_outbit"), (std::vector<std::vector<long long>>{{0, 0, 0}}));
        }

        // Leaving the mode while armed switches output 0 off; unarmed it does not.
        QTest::mouseClick(panel->outputLed(0), Qt::LeftButton);
        fake().clearCalls();
        check->click();
        QVERIFY(!child<QComboBox>(panel.get(), "comboBoxJD")->isVisible());
        QCOMPARE(argsOf("iolb_write_outbit"), (std::vector<std::vector<long long>>{{0, 0, 0}}));
        check->click();
        QTest::mouseClick(panel->outputLed(0), Qt::LeftButton); // lamp was on: now off, disarmed
        fake().clearCalls();
        check->click();
        QVERIFY(argsOf("iolb_write_outbit").empty());

        // In group 1, lamp 0 is bit 32 and never delayed.
        check->click();
        child<QComboBox>(panel.get(), "comboBoxGroupNo")->setCurrentIndex(1);
        fake().clearCalls();
        QTest::mouseClick(panel->outputLed(0), Qt::LeftButton);
        QVERIFY(argsOf("iolb_write_delayOff").empty());
        QCOMPARE(argsOf("iolb_write_outbit").size(), std::size_t(1));
        QCOMPARE(argsOf("iolb_write_outbit")[0][1], 32LL);
    }

    void loopOutputWalksOverAllOutputs_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("outputs");
        QTest::newRow("4 outputs") << 1 << 4;
        QTest::newRow("160 outputs") << 255 << 160;
    }

    void loopOutputWalksOverAllOutputs()
    {
        QFETCH(int, type);
        QFETCH(int, outputs);
        auto panel = makePanel(0, type);
        auto *button = child<QPushButton>(panel.get(), "pushButtonCycleOutput");
        auto *interval = child<QLineEdit>(panel.get(), "lineEditSpanTime");
        interval->setText(QStringLiteral("0"));
        fake().clearCalls();
        button->click();
        QCOMPARE(button->text(), QStringLiteral("Stop"));
        QTRY_VERIFY(int(fake().callsOf("iolb_write_outbit").size()) >= outputs + 2);
        button->click();
        QCOMPARE(button->text(), QStringLiteral("Start"));
        const auto writes = argsOf("iolb_write_outbit");
        const auto reads = argsOf("iolb_read_outbit");
        for (std::size_t n = 0; n < writes.size(); ++n) {
            QCOMPARE(writes[n][1], (long long)(n % std::size_t(outputs)));
            // Each step inverts what it read.
            QCOMPARE(reads[n][1], writes[n][1]);
        }
        // The second round switches the first outputs back off.
        QCOMPARE(writes[0][2], 1LL);
        QCOMPARE(writes[std::size_t(outputs)][2], 0LL);
        QCOMPARE(child<QLineEdit>(panel.get(), "lineEditTotalCount")->text(),
                 QString::number(writes.size()));
        QCOMPARE(child<QLineEdit>(panel.get(), "lineEditFailCount")->text(), QStringLiteral("0"));
    }

    void loopOutputCountsFailuresTimeAndRestarts()
    {
        auto panel = makePanel(5, 7);
        auto *button = child<QPushButton>(panel.get(), "pushButtonCycleOutput");
        child<QLineEdit>(panel.get(), "lineEditSpanTime")->setText(QStringLiteral("20"));
        fake().setResult("iolb_write_outbit", 22);
        button->click();
        QCOMPARE(button->property("OnOff").toInt(), 1);
        QCOMPARE(child<QLineEdit>(panel.get(), "lineEditAvgUseTime")->text(), QString());
        QTRY_VERIFY(child<QLineEdit>(panel.get(), "lineEditTotalCount")->text().toInt() >= 5);
        button->click();
        const int total = child<QLineEdit>(panel.get(), "lineEditTotalCount")->text().toInt();
        QCOMPARE(child<QLineEdit>(panel.get(), "lineEditFailCount")->text().toInt(), total);
        QVERIFY(child<QLineEdit>(panel.get(), "lineEditAvgUseTime")->text().toInt() >= 20);
        {
            QSettings s(settingsPath(), QSettings::IniFormat);
            QCOMPARE(s.value(QStringLiteral("Card5/cycleoutput_nSpanTime")).toInt(), 20);
        }

        fake().setResult("iolb_write_outbit", 0);
        fake().clearCalls();
        button->click();
        QCOMPARE(child<QLineEdit>(panel.get(), "lineEditTotalCount")->text(), QStringLiteral("0"));
        QCOMPARE(child<QLineEdit>(panel.get(), "lineEditFailCount")->text(), QStringLiteral("0"));
        QTRY_VERIFY(!fake().callsOf("iolb_write_outbit").empty());
        button->click();
        QCOMPARE(argsOf("iolb_write_outbit")[0][1], 0LL); // starts again at bit 0
    }

    // The average includes the waits, so from the first step on it never reads below the
    // interval. Qt rounds a coarse timer's expiry to a grid of the interval, by up to 5%; the
    // starts are put where that rounding would make the steps come early.
    void loopAverageIsNeverBelowTheInterval()
    {
        auto panel = makePanel(0, 7);
        auto *button = child<QPushButton>(panel.get(), "pushButtonCycleOutput");
        auto *total = child<QLineEdit>(panel.get(), "lineEditTotalCount");
        auto *average = child<QLineEdit>(panel.get(), "lineEditAvgUseTime");
        const int interval = 50;
        child<QLineEdit>(panel.get(), "lineEditSpanTime")->setText(QString::number(interval));
        QStringList shown; // every text the field takes on, the same text once
        connect(average, &QLineEdit::textChanged, average, [&shown](const QString &text) {
            if (!text.isEmpty())
                shown << text;
        });
        for (int phase : {5, 10, 15, 20}) {
            QElapsedTimer now;
            do
                now.start();
            while (now.msecsSinceReference() % interval != phase);
            button->click();
            QTRY_VERIFY(total->text().toInt() >= 3);
            button->click();
        }
        QVERIFY(shown.size() >= 4); // each start shows a first average at least
        for (const QString &text : shown)
            QVERIFY2(text.toInt() >= interval, qPrintable(shown.join(QLatin1Char(' '))));
    }

    void pulserStartReadsFieldsAndSavesThem_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("count");
        QTest::addColumn<long long>("sentPort");
        QTest::addColumn<long long>("sentCount");
        QTest::addColumn<int>("savedPort");
        QTest::newRow("plain") << "3"
                               << "10" << 3LL << 10LL << 3;
        QTest::newRow("port -1") << "-1"
                                 << "10" << 65535LL << 10LL << -1;
        QTest::newRow("port not a number") << "x"
                                           << "10" << 0LL << 10LL << 0;
        QTest::newRow("count -5") << "2"
                                  << "-5" << 2LL << 0LL << 2;
        QTest::newRow("count wraps") << "2"
                                     << "70000" << 2LL << 4464LL << 2;
    }

    void pulserStartReadsFieldsAndSavesThem()
    {
        QFETCH(QString, port);
        QFETCH(QString, count);
        QFETCH(long long, sentPort);
        QFETCH(long long, sentCount);
        QFETCH(int, savedPort);
        auto panel = makePanel(1);
        child<QLineEdit>(panel.get(), "lineEditPulserComno")->setText(port);
        child<QCheckBox>(panel.get(), "checkBoxPulserPN")->setChecked(true);
        child<QLineEdit>(panel.get(), "lineEditPulserCount")->setText(count);
        child<QLineEdit>(panel.get(), "lineEditPulserPosTime")->setText(QStringLiteral("300"));
        child<QLineEdit>(panel.get(), "lineEditPulserNegTime")->setText(QStringLiteral("200"));
        child<QLineEdit>(panel.get(), "lineEditPulserPreTime")->setText(QStringLiteral("50"));
        fake().clearCalls();
        child<QPushButton>(panel.get(), "pushButtonPulserStart")->click();
        QCOMPARE(argsOf("iolb_board_pulser_isbusy"),
                 (std::vector<std::vector<long long>>{{1, sentPort}}));
        QCOMPARE(argsOf("iolb_board_pulser_pulse"),
                 (std::vector<std::vector<long long>>{{1, sentPort, 1, sentCount, 300, 200, 50}}));
        QSettings s(settingsPath(), QSettings::IniFormat);
        s.beginGroup(QStringLiteral("Card1"));
        QCOMPARE(s.value(QStringLiteral("pulser_nBit")).toInt(), savedPort);
        QCOMPARE(s.value(QStringLiteral("pulser_bPositive")).toBool(), true);
        QCOMPARE(s.value(QStringLiteral("pulser_dwCount")).toLongLong(), sentCount);
        QCOMPARE(s.value(QStringLiteral("pulser_dwTimePositive")).toInt(), 300);
        QCOMPARE(s.value(QStringLiteral("pulser_dwTimeNegative")).toInt(), 200);
        QCOMPARE(s.value(QStringLiteral("pulser_dwTimeFirst")).toInt(), 50);

        fake().clearCalls();
        child<QPushButton>(panel.get(), "pushButtonPulserStop")->click();
        QCOMPARE(argsOf("iolb_board_pulser_terminate"),
                 (std::vector<std::vector<long long>>{{1, sentPort}}));
    }

    void pulserRefusals()
    {
        auto panel = makePanel(1);
        child<QLineEdit>(panel.get(), "lineEditPulserComno")->setText(QStringLiteral("-1"));
        auto *start = child<QPushButton>(panel.get(), "pushButtonPulserStart");

        fake().setPulserBusy(1, 65535, true);
        const auto busy = testsupport::answerBoxes(QMessageBox::Ok, true);
        start->click();
        QVERIFY(busy->count == 1);
        QCOMPARE(busy->title, QStringLiteral("Error"));
        QVERIFY2(busy->text.contains(QLatin1String("output port [-1]")), qPrintable(busy->text));
        QVERIFY(fake().callsOf("iolb_board_pulser_pulse").empty());
        QVERIFY(!QFile::exists(settingsPath()) ||
                !QSettings(settingsPath(), QSettings::IniFormat).contains("Card1/pulser_nBit"));

        fake().setResult("iolb_board_pulser_isbusy", 17);
        const auto failed = testsupport::answerBoxes(QMessageBox::Ok, true);
        start->click();
        QCOMPARE(failed->title, QStringLiteral("Operation failed"));
        QCOMPARE(failed->text, errorText(17));
        QVERIFY(fake().callsOf("iolb_board_pulser_pulse").empty());

        fake().setResult("iolb_board_pulser_isbusy", 0);
        fake().setPulserBusy(1, 65535, false);
        fake().setResult("iolb_board_pulser_pulse", 15);
        const auto pulseFailed = testsupport::answerBoxes(QMessageBox::Ok, true);
        start->click();
        QCOMPARE(pulseFailed->title, QStringLiteral("Operation failed"));
        QCOMPARE(pulseFailed->text, errorText(15));
        QCOMPARE(QSettings(settingsPath(), QSettings::IniFormat).value("Card1/pulser_nBit").toInt(),
                 -1);
    }

    void errorTexts_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0 << "Error Code(0):Success";
        QTest::newRow("5")
            << 5 << "Error Code(5):The secondevery parameter in iolb_set_delayOff() is incorrect.";
        QTest::newRow("-5")
            << -5
            << "Error Code(-5):The secondevery parameter in iolb_set_delayOff() is incorrect.";
        QTest::newRow("7, no message") << 7 << "Error Code(7):";
        QTest::newRow("20, no message") << 20 << "Error Code(20):";
        QTest::newRow("26") << 26 << "Error Code(26):Unknown error";
        QTest::newRow("27") << 27 << "Error Code(27)";
        QTest::newRow("-27") << -27 << "Error Code(-27)";
        QTest::newRow("most negative") << INT_MIN << "Error Code(-2147483648)";
    }

    void errorTexts()
    {
        QFETCH(int, code);
        QFETCH(QString, text);
        QCOMPARE(errorText(code), text);
    }

    void chineseTextsAndLanguageChange()
    {
        auto panel = makePanel(0);
        panel->show();
        const QStringList fields = {
            "lineEditPulserComno",   "lineEditPulserCount",   "lineEditPulserPosTime",
            "lineEditPulserNegTime", "lineEditPulserPreTime", "lineEditSpanTime",
            "lineEditAvgUseTime",    "lineEditTotalCount",    "lineEditFailCount"};
        for (const QString &f : fields)
            panel->findChild<QLineEdit *>(f)->setText(QStringLiteral("999"));
        child<QPushButton>(panel.get(), "pushButtonCycleOutput")->setProperty("OnOff", 1);

        QTranslator translator;
        QVERIFY(translator.load(QCoreApplication::applicationDirPath() +
                                QStringLiteral("/kavro_panel_zh_CN.qm")));
        QCoreApplication::installTranslator(&translator);
        QCoreApplication::processEvents();

        const QStringList initial = {"0", "10", "500", "500", "100", "200", "NA", "0", "0"};
        for (int i = 0; i < fields.size(); ++i)
            QCOMPARE(panel->findChild<QLineEdit *>(fields[i])->text(), initial[i]);
        QCOMPARE(child<QGroupBox>(panel.get(), "groupBoxInput")->title(), QStringLiteral("输入"));
        QCOMPARE(child<QLabel>(panel.get(), "labelCardType")->text(), QStringLiteral("卡类型："));
        QCOMPARE(child<QPushButton>(panel.get(), "pushButtonCycleOutput")->text(),
                 QStringLiteral("停止"));
        QCOMPARE(panel->windowTitle(), QStringLiteral("Form"));
        QCOMPARE(errorText(-5),
                 QStringLiteral("错误代码(-5):iolb_set_delayOff() 中的secondevery 参数不正确。"));
        QCOMPARE(errorText(40), QStringLiteral("错误代码(40)"));
        QCOMPARE(errorText(9), QStringLiteral("错误代码(9):"));

        QCoreApplication::removeTranslator(&translator);
        QCoreApplication::processEvents();
        QCOMPARE(child<QGroupBox>(panel.get(), "groupBoxInput")->title(), QStringLiteral("Input"));
    }

    void lampWidgets()
    {
        QWidget host;
        LedWidget input(false, 9, &host);
        LedWidget output(true, 31, &host);
        QSignalSpy inputClicks(&input, &LedWidget::on_click);
        QTest::mousePress(&input, Qt::LeftButton);
        QVERIFY(!input.ledButton()->isChecked());
        QCOMPARE(inputClicks.count(), 0);

        bool seenOnAtEmit = false;
        connect(&output, &LedWidget::on_click, this,
                [&](int, bool) { seenOnAtEmit = output.ledButton()->isChecked(); });
        QSignalSpy clicks(&output, &LedWidget::on_click);
        QTest::mousePress(&output, Qt::RightButton); // any button
        QVERIFY(seenOnAtEmit);
        QTest::mousePress(&output, Qt::LeftButton);
        QCOMPARE(clicks.count(), 2);
        QCOMPARE(clicks[0], (QList<QVariant>{31, true}));
        QCOMPARE(clicks[1], (QList<QVariant>{31, false}));
        QCOMPARE(output.numberLabel()->text(), QStringLiteral("31"));
        output.ledButton()->setChecked(true);
        QCOMPARE(clicks.count(), 2);
        QCOMPARE(output.ledButton()->styleSheet(), QString::fromLatin1(LedButton::OnLook));
    }
};

QTEST_MAIN(TstKavroWidget)
#include "tst_kavrowidget.moc"
