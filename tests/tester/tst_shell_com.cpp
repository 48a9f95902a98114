// The serial-port tester's shell: the system's ports behind a seam, the library a stand-in.
#include "tester/comvariant.h"
#include "fakeboard.h"
#include "tester/gqtranslatormanager.h"
#include "tester/mainwindow.h"
#include "shelltesthelpers.h"
#include "tester/simpleprogressdialog.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QStandardPaths>
#include <QTabWidget>
#include <QtTest>

using kavro::fake::FakeBoard;

class TstShellCom : public QObject
{
    Q_OBJECT

    static std::unique_ptr<MainWindow> makeWindow()
    {
        auto w = std::make_unique<MainWindow>(testerVariant());
        w->show();
        const bool delivered = QTest::qWaitFor(
            [&] { return child<QPushButton>(w.get(), "pushButtonRefresh")->isEnabled(); }, 5000);
        return delivered ? std::move(w) : nullptr;
    }

    static QStringList items(QComboBox *box)
    {
        QStringList list;
        for (int i = 0; i < box->count(); ++i)
            list << box->itemText(i);
        return list;
    }

    QVector<SerialPortEntry> ports;

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QFile::remove(testerSettingsPath());
        registerSearchTypes();
        GQTranslatorManager::instance()->setLanguage(GQTranslatorManager::EN_US);
        setSerialPortsForTest([this] { return ports; });
    }

    void init()
    {
        FakeBoard::instance().reset();
        ports = {{QStringLiteral("COM3"), false}, {QStringLiteral("COM5"), false}};
    }

    void portsAreNumberedInTheOrderMet()
    {
        auto w = makeWindow();
        QVERIFY(w);
        QVERIFY(!child<QLineEdit>(w.get(), "lineEditPort"));
        QVERIFY(!child<QLabel>(w.get(), "label_2"));
        auto *board = child<QComboBox>(w.get(), "comboBoxBoardNo");
        QVERIFY(board);
        QCOMPARE(board->minimumWidth(), 90);
        QCOMPARE(child<QLabel>(w.get(), "label")->text(), QStringLiteral("Serial Port"));
        QCOMPARE(items(board), (QStringList{"COM3", "COM5"}));
        QCOMPARE(w->cardNumberFor(QStringLiteral("COM3")), 0);
        QCOMPARE(w->cardNumberFor(QStringLiteral("COM5")), 1);

        board->setCurrentText(QStringLiteral("COM5"));
        child<QPushButton>(w.get(), "pushButtonOpen")->click();
        auto *tabs = child<QTabWidget>(w.get(), "tabWidget");
        QCOMPARE(tabs->count(), 1);
        QCOMPARE(tabs->tabText(0), QStringLiteral("1-COM5"));
        const auto open = FakeBoard::instance().callsOf("iolb_board_open").back();
        QCOMPARE(QString::fromStdString(open.text), QStringLiteral("COM5"));
        QVERIFY(!QSettings(testerSettingsPath(), QSettings::IniFormat).contains("CardLast/IP"));
    }

    void busyPortsAreNeverOpenedBySearches()
    {
        ports = {{QStringLiteral("COM3"), false}, {QStringLiteral("COM4"), true}};
        auto &fake = FakeBoard::instance();
        fake.setResult("iolb_board_getcurframeno", 4); // COM4's card is not open here
        auto w = makeWindow();
        QVERIFY(w);
        auto *board = child<QComboBox>(w.get(), "comboBoxBoardNo");
        QCOMPARE(items(board), QStringList{"COM3"});

        auto seen = answerBoxes();
        child<QPushButton>(w.get(), "pushButtonSearch")->click();
        QTRY_VERIFY_WITH_TIMEOUT(seen->count == 1, 5000);
        QCOMPARE(seen->text,
                 QStringLiteral("The board number of the KAVRO card has been found:\n\rCOM3"));
        for (const auto &c : fake.callsOf("iolb_board_open"))
            QVERIFY(c.text != "COM4");
        QCOMPARE(fake.callsOf("iolb_board_close").size(), std::size_t(1));

        // Once COM4's card is open in this tester, both searches list it.
        fake.setResult("iolb_board_getcurframeno", 0);
        child<QPushButton>(w.get(), "pushButtonRefresh")->click();
        QTRY_VERIFY(child<QPushButton>(w.get(), "pushButtonRefresh")->isEnabled());
        QCOMPARE(items(board), (QStringList{"COM3", "COM4"}));
        child<QPushButton>(w.get(), "pushButtonSearch")->click();
        QTRY_VERIFY_WITH_TIMEOUT(seen->count == 2, 5000);
        QVERIFY(seen->text.endsWith(QStringLiteral("COM3,COM4")));
        for (const auto &c : fake.callsOf("iolb_board_open"))
            QVERIFY(c.text != "COM4");
    }

    void nothingFoundIsAnError()
    {
        auto w = makeWindow();
        QVERIFY(w);
        FakeBoard::instance().setResult("iolb_board_open", 2);
        auto seen = answerBoxes();
        child<QPushButton>(w.get(), "pushButtonSearch")->click();
        QTRY_VERIFY_WITH_TIMEOUT(seen->count == 1, 5000);
        QCOMPARE(seen->title, QStringLiteral("Error"));
        QCOMPARE(seen->icon, QMessageBox::Critical);
        QCOMPARE(seen->text, QStringLiteral("KAVRO card not found!"));
        QCOMPARE(child<QComboBox>(w.get(), "comboBoxBoardNo")->count(), 0);
    }

    void emptyFieldAtOpen()
    {
        ports.clear();
        auto w = makeWindow();
        QVERIFY(w);
        auto seen = answerBoxes();
        child<QPushButton>(w.get(), "pushButtonOpen")->click();
        QCOMPARE(seen->title, QStringLiteral("Error"));
        QCOMPARE(seen->text,
                 QStringLiteral("Card number not selected. Please select a card number first."));
        QVERIFY(FakeBoard::instance().callsOf("iolb_board_open").empty());
    }
};

QTEST_MAIN(TstShellCom)
#include "tst_shell_com.moc"
