// The PCIe tester's shell with the stand-in library.
#include "fakeboard.h"
#include "tester/gqtranslatormanager.h"
#include "panel/kavrowidget.h"
#include "tester/mainwindow.h"
#include "shelltesthelpers.h"
#include "tester/simpleprogressdialog.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTabWidget>
#include <QtTest>

using kavro::fake::FakeBoard;

class TstShellPcie : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        registerSearchTypes();
        GQTranslatorManager::instance()->setLanguage(GQTranslatorManager::EN_US);
    }

    void init() { FakeBoard::instance().reset(); }

    void numbersWithoutASearch()
    {
        MainWindow w(testerVariant());
        auto *board = child<QComboBox>(&w, "comboBoxBoardNo");
        QVERIFY(board);
        QCOMPARE(board->count(), 16); // at once, in the constructor
        QCOMPARE(board->itemText(0), QStringLiteral("0"));
        QCOMPARE(board->itemText(15), QStringLiteral("15"));
        QVERIFY(w.findChildren<SimpleProgressDialog *>().isEmpty());
        QCOMPARE(child<QLabel>(&w, "label")->text(), QStringLiteral("PCIE Port"));
        board->clear();
        child<QPushButton>(&w, "pushButtonRefresh")->click();
        QCOMPARE(board->count(), 16);
        QVERIFY(child<QPushButton>(&w, "pushButtonRefresh")->isEnabled());
    }

    void openByNumber()
    {
        FakeBoard::instance().setBoardInfo(10, 7); // firmware 10: the PCIe panel keeps pulsers
        MainWindow w(testerVariant());
        w.show();
        auto *board = child<QComboBox>(&w, "comboBoxBoardNo");
        auto *tabs = child<QTabWidget>(&w, "tabWidget");
        board->setCurrentText(QStringLiteral("3"));
        child<QPushButton>(&w, "pushButtonOpen")->click();
        QCOMPARE(tabs->count(), 1);
        QCOMPARE(tabs->tabText(0), QStringLiteral("3"));
        const auto open = FakeBoard::instance().callsOf("iolb_board_open").back();
        QCOMPARE(QString::fromStdString(open.text), QStringLiteral("PCIE"));
        QCOMPARE(open.args[0], 3LL);
        KAVROWidget *panel = w.panelFor(3);
        QVERIFY(panel);
        QVERIFY(panel->findChild<QPushButton *>("pushButtonPulserStart")->isEnabled());
        QCOMPARE(panel->findChild<QGroupBox *>("groupBoxPulser")->title(),
                 QStringLiteral("Pulse Generator (up to 32 units)"));

        child<QPushButton>(&w, "pushButtonOpen")->click();
        QCOMPARE(tabs->count(), 1);

        board->setEditText(QStringLiteral("abc"));
        child<QPushButton>(&w, "pushButtonOpen")->click(); // card 0 under the typed text
        QCOMPARE(FakeBoard::instance().callsOf("iolb_board_open").back().args[0], 0LL);
        QCOMPARE(tabs->count(), 2);
        QCOMPARE(tabs->tabText(1), QStringLiteral("abc"));

        board->setEditText(QStringLiteral("3"));
        child<QPushButton>(&w, "pushButtonClose")->click();
        QCOMPARE(tabs->count(), 1);
        emit tabs->tabCloseRequested(0);
        QCOMPARE(tabs->count(), 0);
    }

    void searchReportsTheNumbersThatOpen()
    {
        // The stand-in opens nothing: the information box says so.
        FakeBoard::instance().setResult("iolb_board_open", 2);
        MainWindow w(testerVariant());
        w.show();
        auto seen = answerBoxes();
        child<QPushButton>(&w, "pushButtonSearch")->click();
        QTRY_VERIFY_WITH_TIMEOUT(seen->count == 1, 5000);
        QCOMPARE(seen->title, QStringLiteral("Information"));
        QCOMPARE(seen->text, QStringLiteral("KAVRO card not found!"));
        QCOMPARE(FakeBoard::instance().callsOf("iolb_board_open").size(), std::size_t(16));
    }
};

QTEST_MAIN(TstShellPcie)
#include "tst_shell_pcie.moc"
