#include "virtualboard/ledlabel.h"
#include "linkclient.h"
#include "virtualboard/mainwindow.h"
#include "virtualboard/mcu.h"
#include "virtualboard/mcudevice.h"
#include "support/messageboxes.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpServer>
#include <QtTest>

using kavro::link::Command;
using kavro::link::CommandFrame;

namespace {

const QString kAppName = QStringLiteral("KAVROVirtualBoard_Network");

QSettings settings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Vastrel"),
                     kAppName);
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

class TstVbWindow : public QObject
{
    Q_OBJECT

    template <typename T> static T *child(MainWindow &w, const char *name)
    {
        return w.findChild<T *>(QString::fromLatin1(name));
    }

    static LEDLabel *led(MainWindow &w, const char *kind, int n)
    {
        return w.findChild<LEDLabel *>(QStringLiteral("%1Led_%2").arg(QLatin1String(kind)).arg(n));
    }

    static void openOn(MainWindow &w, quint16 port)
    {
        child<QComboBox>(w, "comboBoxCOM")->setCurrentText(QStringLiteral("127.0.0.1"));
        child<QLineEdit>(w, "lineEditPort")->setText(QString::number(port));
        child<QPushButton>(w, "pushButtonOpen")->click();
    }

    static bool systemIsChinese() { return QLocale::system().language() == QLocale::Chinese; }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(QFile::exists(QCoreApplication::applicationDirPath() +
                              QStringLiteral("/KAVROVirtualBoard_CN.qm")));
    }

    void init()
    {
        settings().clear();
        MainWindow::setSystemTrayAvailableForTest(true);
    }

    void cleanup()
    {
        MainWindow::setSystemTrayAvailableForTest(std::nullopt);
        QCoreApplication::processEvents();
    }

    void firstStartFollowsTheSystemLanguage()
    {
        MainWindow w;
        QCoreApplication::processEvents();
        const bool chinese = systemIsChinese();
        QCOMPARE(settings().value(QStringLiteral("language")).toInt(), chinese ? 1 : 0);
        QCOMPARE(child<QComboBox>(w, "comboBoxLan")->currentIndex(), chinese ? 1 : 0);
        QCOMPARE(child<QLabel>(w, "labelCardNo")->text(),
                 chinese ? QStringLiteral("卡号") : QStringLiteral("CardNo"));
        QCOMPARE(w.windowTitle(), kAppName);
        QCOMPARE(w.trayIcon()->toolTip(), kAppName);
        QCOMPARE(child<QComboBox>(w, "comboBoxCOM")
                     ->itemText(child<QComboBox>(w, "comboBoxCOM")->count() - 1),
                 QStringLiteral("127.0.0.1"));
        QCOMPARE(child<QLineEdit>(w, "lineEditPort")->text(), QStringLiteral("8088"));
        QVERIFY(!child<QPushButton>(w, "pushButtonCycleInput")->isEnabled());
        QVERIFY(child<QLineEdit>(w, "lineEditPort")->isEnabled());
    }

    void firstStartWithoutTheChineseCatalogue()
    {
        if (!systemIsChinese())
            QSKIP("needs a Chinese desktop (the _zh run of this test)");
        const QString qm =
            QCoreApplication::applicationDirPath() + QStringLiteral("/KAVROVirtualBoard_CN.qm");
        const QString aside = qm + QStringLiteral(".aside");
        QVERIFY(QFile::rename(qm, aside));
        {
            MainWindow w;
            QCoreApplication::processEvents();
            QCOMPARE(settings().value(QStringLiteral("language")).toInt(), 1);
            QCOMPARE(w.windowTitle(), QStringLiteral("MainWindow"));
            QCOMPARE(child<QLabel>(w, "labelCardNo")->text(), QStringLiteral("CardNo"));
        }
        QVERIFY(QFile::rename(aside, qm));
    }

    void savedLanguageWins()
    {
        for (int saved : {1, 0}) {
            settings().setValue(QStringLiteral("language"), saved);
            MainWindow w;
            QCoreApplication::processEvents();
            QCOMPARE(child<QComboBox>(w, "comboBoxLan")->currentIndex(), saved);
            QCOMPARE(child<QPushButton>(w, "pushButtonOpen")->text(),
                     saved ? QStringLiteral("打开") : QStringLiteral("Open"));
        }
    }

    void openShowsIdentityInTitleAndTooltip()
    {
        settings().setValue(QStringLiteral("language"), 0);
        MainWindow w;
        openOn(w, freePort());
        QVERIFY(w.isOpened());
        QCOMPARE(child<QPushButton>(w, "pushButtonOpen")->text(), QStringLiteral("Close"));
        QVERIFY(w.configResponder()->isRunning());
        const QString mac = w.configResponder()->mac();
        QVERIFY(mac.startsWith(QLatin1String("02:DE:")));
        // The gateway comes from the first local address, whatever address was opened.
        QStringList first = child<QComboBox>(w, "comboBoxCOM")->itemText(0).split('.');
        first[3] = QStringLiteral("1");
        const QString gw = first.join('.');
        QCOMPARE(w.configResponder()->gateway(), gw);
        QCOMPARE(w.windowTitle(), kAppName + QStringLiteral("  MAC:") + mac +
                                      QStringLiteral("  IP:127.0.0.1  GW:") + gw);
        QCOMPARE(w.trayIcon()->toolTip(), kAppName + QStringLiteral("\r  MAC:") + mac +
                                              QStringLiteral("\r  IP:127.0.0.1\r  GW:") + gw);
        QVERIFY(!child<QComboBox>(w, "comboBoxCOM")->isEnabled());
        QVERIFY(!child<QLineEdit>(w, "lineEditPort")->isEnabled());
        QVERIFY(child<QPushButton>(w, "pushButtonCycleInput")->isEnabled());
        QVERIFY(child<QComboBox>(w, "comboBoxIOGroup")->isEnabled());

        child<QPushButton>(w, "pushButtonOpen")->click();
        QVERIFY(!w.isOpened());
        QCOMPARE(w.windowTitle(), kAppName);
        QVERIFY(!MCU::instance()->isRunning());
        QVERIFY(!w.configResponder()->isRunning());
    }

    void openOnABusyPortLeavesEverythingClosed()
    {
        settings().setValue(QStringLiteral("language"), 0);
        QTcpServer occupier;
        QVERIFY(occupier.listen(QHostAddress::LocalHost, 0));
        MainWindow w;
        openOn(w, occupier.serverPort());
        QVERIFY(!w.isOpened());
        QCOMPARE(child<QPushButton>(w, "pushButtonOpen")->text(), QStringLiteral("Open"));
        QCOMPARE(w.windowTitle(), kAppName);
        QVERIFY(child<QLineEdit>(w, "lineEditPort")->isEnabled());
        QVERIFY(!child<QPushButton>(w, "pushButtonCycleInput")->isEnabled());
        QVERIFY(!MCU::instance()->isRunning());
        QVERIFY(!w.configResponder()->isRunning());
    }

    void inputsAndOutputsFollowTheLink()
    {
        settings().setValue(QStringLiteral("language"), 0);
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const quint16 port = freePort();
        openOn(w, port);
        QVERIFY(w.isOpened());
        LinkClient client;
        QVERIFY(client.connectTo(port));

        client.send(CommandFrame::make(Command::WriteOutWord, 0, 0, 0));
        client.send(CommandFrame::make(Command::SetOutBit, 0, 3));
        QTRY_VERIFY(led(w, "output", 3)->state());
        QCOMPARE(w.outputState(3), 1);
        client.send(CommandFrame::make(Command::ClearOutBit, 0, 3));
        QTRY_VERIFY(!led(w, "output", 3)->state());

        // A click on input 5 reaches the client through the next input scan.
        LEDLabel *in5 = led(w, "input", 5);
        QTest::mouseClick(in5, Qt::LeftButton, Qt::NoModifier, QPoint(15, 15));
        QVERIFY(in5->state());
        QCOMPARE(w.inputState(5), 1);
        QTRY_VERIFY(!client.frames.isEmpty() && (client.frames.last().inputWord() & (1u << 5)));

        // Output and legend lamps ignore clicks.
        QTest::mouseClick(led(w, "output", 7), Qt::LeftButton, Qt::NoModifier, QPoint(15, 15));
        QVERIFY(!led(w, "output", 7)->state());
        auto *legend = w.findChild<LEDLabel *>(QStringLiteral("legendLedOff"));
        QTest::mouseClick(legend, Qt::LeftButton, Qt::NoModifier, QPoint(15, 15));
        QVERIFY(!legend->state());

        // Closing keeps the levels; opening again clears them.
        child<QPushButton>(w, "pushButtonOpen")->click();
        QTRY_COMPARE(client.socket.state(), QAbstractSocket::UnconnectedState);
        QVERIFY(in5->state());
        QCOMPARE(w.inputState(5), 1);
        openOn(w, port);
        QVERIFY(w.isOpened());
        QVERIFY(!in5->state());
        QCOMPARE(w.inputState(5), 0);
    }

    void outputNotificationsAreCollectedPerRefresh()
    {
        MainWindow w;
        QTest::qWait(40);
        QVector<int> before;
        for (int n = 0; n < 32; ++n)
            before << led(w, "output", n)->styleUpdates();
        const int passes = w.outputRefreshPasses();
        for (int n = 0; n < 32; ++n)
            emit MCU::instance()->SetOutBitLevel(0, uchar(n), false);
        // Out of range: touches nothing.
        emit MCU::instance()->SetOutBitLevel(1, 0, false);
        emit MCU::instance()->SetOutBitLevel(0, 32, false);
        QTRY_COMPARE(w.outputRefreshPasses(), passes + 1);
        QTest::qWait(50);
        QCOMPARE(w.outputRefreshPasses(), passes + 1);
        for (int n = 0; n < 32; ++n) {
            QVERIFY(led(w, "output", n)->state());
            QCOMPARE(led(w, "output", n)->styleUpdates(), before[n] + 1);
        }
        QCOMPARE(emit MCU::instance()->GetInBitLevel(0, 40), false);
        QCOMPARE(emit MCU::instance()->GetInBitLevel(3, 0), false);
    }

    void cycleInputWalksThroughTheInputs()
    {
        settings().setValue(QStringLiteral("language"), 0);
        MainWindow w;
        openOn(w, freePort());
        auto *button = child<QPushButton>(w, "pushButtonCycleInput");
        child<QLineEdit>(w, "lineEditTimerInterval")->setText(QStringLiteral("10"));
        button->click();
        QCOMPARE(button->styleSheet(), QStringLiteral("background-color: rgb(255, 0, 0);"));
        QTRY_VERIFY(w.inputState(0) == 1 && w.inputState(31) == 0);
        // After all 32 are lit, they go dark from input 0 on.
        QTRY_VERIFY(w.inputState(0) == 0 && w.inputState(31) == 1);
        button->click();
        QCOMPARE(button->styleSheet(), QString());
        // The walk is lit 0..31, then dark 0..31: stopped, the lit ones form a suffix.
        bool seenLit = false;
        for (int n = 0; n < 32; ++n) {
            if (w.inputState(n))
                seenLit = true;
            else
                QVERIFY2(!seenLit, "inputs go dark in order");
        }
        QTRY_COMPARE(led(w, "input", 31)->state(), w.inputState(31) == 1);
        // Closing stops the cycle.
        button->click();
        child<QPushButton>(w, "pushButtonOpen")->click();
        QCOMPARE(button->styleSheet(), QString());
    }

    void languageSwitchResetsFieldsAndTitle()
    {
        settings().setValue(QStringLiteral("language"), 0);
        MainWindow w;
        child<QLineEdit>(w, "lineEditPort")->setText(QStringLiteral("9000"));
        openOn(w, freePort());
        QVERIFY(w.windowTitle().contains(QLatin1String("MAC:")));
        child<QLineEdit>(w, "lineEditTimerInterval")->setText(QStringLiteral("7"));

        child<QComboBox>(w, "comboBoxLan")->setCurrentIndex(1);
        QTRY_COMPARE(w.windowTitle(), kAppName);
        QCOMPARE(settings().value(QStringLiteral("language")).toInt(), 1);
        QCOMPARE(child<QLineEdit>(w, "lineEditPort")->text(), QStringLiteral("8088"));
        QCOMPARE(child<QLineEdit>(w, "lineEditTimerInterval")->text(), QStringLiteral("50"));
        QCOMPARE(child<QLabel>(w, "labelCardNo")->text(), QStringLiteral("卡号"));
        QCOMPARE(child<QPushButton>(w, "pushButtonOpen")->text(), QStringLiteral("关闭"));
        QCOMPARE(w.findChild<LEDLabel *>(QStringLiteral("legendLedOn"))->text(),
                 QStringLiteral("有信号"));
        QCOMPARE(child<QComboBox>(w, "comboBoxLan")->itemText(0), QStringLiteral("英文"));

        child<QComboBox>(w, "comboBoxLan")->setCurrentIndex(0);
        QTRY_COMPARE(child<QLabel>(w, "labelCardNo")->text(), QStringLiteral("CardNo"));
        QCOMPARE(child<QPushButton>(w, "pushButtonOpen")->text(), QStringLiteral("Close"));
        QCOMPARE(settings().value(QStringLiteral("language")).toInt(), 0);
    }

    void closeQuestion_data()
    {
        QTest::addColumn<bool>("tray");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<bool>("visibleAfter");
        QTest::newRow("no: into the tray") << true << int(QMessageBox::No) << false << false;
        QTest::newRow("cancel") << true << int(QMessageBox::Cancel) << false << true;
        QTest::newRow("no system tray: no question") << false << 0 << true << false;
        // Last: the application's quit stays in force for every later modal loop.
        QTest::newRow("yes") << true << int(QMessageBox::Yes) << true << false;
    }

    void closeQuestion()
    {
        QFETCH(bool, tray);
        QFETCH(int, answer);
        QFETCH(bool, closes);
        QFETCH(bool, visibleAfter);
        MainWindow::setSystemTrayAvailableForTest(tray);
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        std::shared_ptr<testsupport::BoxSeen> answered;
        if (answer)
            answered = testsupport::answerBoxes(QMessageBox::StandardButton(answer), true);
        QCOMPARE(w.close(), closes);
        QTRY_COMPARE(w.isVisible(), visibleAfter);
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        if (answer)
            QCOMPARE(answered->count, 1);
    }
};

QTEST_MAIN(TstVbWindow)
#include "tst_vbwindow.moc"
