#pragma once

#include "testervariant.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include <QMainWindow>
#include <QMap>
#include <QStringList>

namespace Ui {
class MainWindow;
}
class KAVROWidget;
class QComboBox;
class QPushButton;
class SearchGate;
class SimpleProgressDialog;

// Reads the saved language from KAVRO.cfg and applies it with the build's catalogues; the
// start-up does this before the main window exists.
void applySavedLanguage(const TesterVariant &variant);
QString testerSettingsPath();
// Registers the types that searches hand back to the window across threads; the start-up does
// this before the main window exists.
void registerSearchTypes();

// The tester's window: a connection bar, a welcome page, and one card panel per open card in
// tabs. What differs between the network, serial-port and PCIe builds comes from the variant
// it is given, by default the one of the build it is linked into.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(TesterVariant buildVariant, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The card number of a connection key, assigning the lowest free one; -1 when all sixteen
    // are taken. Safe from a search's worker thread.
    int cardNumberFor(const QString &key);
    void retranslate();

    // The connection field: comboBoxIP in the network build, comboBoxBoardNo in the others.
    QComboBox *connectionBox() const;
    KAVROWidget *panelFor(int comno) const;

signals:
    void updatePortsUI(SimpleProgressDialog *dialog, QStringList ports, QString okPorts,
                       std::shared_ptr<std::atomic<bool>> cancelFlag);

protected:
    void changeEvent(QEvent *event) override;

private slots:
    void on_pushButtonRefresh_clicked();
    void on_pushButtonOpen_clicked();
    void on_pushButtonClose_clicked();
    void on_pushButtonSearch_clicked();
    void on_comboBoxLanguage_currentIndexChanged(int index);

private:
    void startSearch(QPushButton *button, const QString &label, bool cardSearch);
    void portListDelivered(SimpleProgressDialog *dialog, QStringList ports, QString okPorts,
                           std::shared_ptr<std::atomic<bool>> cancelFlag);
    void cardSearchDelivered(SimpleProgressDialog *dialog, QStringList ports, QString okPorts,
                             std::shared_ptr<std::atomic<bool>> cancelFlag);
    void finishSearch(SimpleProgressDialog *dialog, QPushButton *button);
    // The number of the card the connection bar names.
    int cardNumberOf(const QString &field, const QString &key);
    void openCard(const QString &portText, int comno, const QString &title);
    void closeTab(int index);
    void fillFixedPorts();

    Ui::MainWindow *ui;
    const TesterVariant variant;
    std::mutex cardNumbersMutex;
    QMap<QString, int> cardNumbers;
    std::shared_ptr<SearchGate> gate;
    std::vector<std::unique_ptr<QWidget>> unusedWidgets;
};
