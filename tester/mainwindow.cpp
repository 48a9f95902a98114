#include "mainwindow.h"

#include "gqtranslatormanager.h"
#include "kavro_iolb.h"
#include "moduleversion.h"
#include "panel/errortext.h"
#include "panel/kavrowidget.h"
#include "searchgate.h"
#include "shellsettings.h"
#include "simpleprogressdialog.h"
#include "ui_mainwindow.h"

#include <thread>

#include <QHostAddress>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>

void registerSearchTypes()
{
    qRegisterMetaType<std::shared_ptr<std::atomic<bool>>>("std::shared_ptr<std::atomic<bool>>");
    qRegisterMetaType<SimpleProgressDialog *>("SimpleProgressDialog*");
}

QString testerSettingsPath()
{
    return kavrosettings::path();
}

void applySavedLanguage(const TesterVariant &variant)
{
    const QSettings settings(testerSettingsPath(), QSettings::IniFormat);
    GQTranslatorManager *languages = GQTranslatorManager::instance();
    languages->setCatalogueBase(variant.catalogueBase);
    languages->setLanguage(settings.value(shellsettings::Language, QStringLiteral("0")).toInt());
}

MainWindow::MainWindow(TesterVariant buildVariant, QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), variant(std::move(buildVariant)),
      gate(std::make_shared<SearchGate>(this))
{
    ui->setupUi(this);
    ui->stackedWidget->setCurrentIndex(0);
    if (!variant.portField) {
        // The bar names a card, not an address and a port. The form's caption pass still sets
        // the port's caption, so the widgets leave the window but live.
        for (QWidget *unused :
             {static_cast<QWidget *>(ui->label_2), static_cast<QWidget *>(ui->lineEditPort)}) {
            ui->horizontalLayout_2->removeWidget(unused);
            unused->setParent(nullptr);
            unusedWidgets.emplace_back(unused);
        }
        ui->comboBoxIP->setObjectName(QStringLiteral("comboBoxBoardNo"));
        ui->comboBoxIP->setMinimumWidth(90);
    }

    // The language names change length with the language. By default the box takes its width
    // once, when first shown: first shown in Chinese, it would cut "English" short.
    ui->comboBoxLanguage->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    GQTranslatorManager *languages = GQTranslatorManager::instance();
    languages->setCatalogueBase(variant.catalogueBase);
    for (int i = 0; i < languages->languageCount(); ++i)
        ui->comboBoxLanguage->addItem(QIcon(), languages->languageName(i));
    ui->comboBoxLanguage->setCurrentIndex(int(languages->language()));

    connect(ui->tabWidget, &QTabWidget::tabCloseRequested, this, &MainWindow::closeTab);

    on_pushButtonRefresh_clicked();

    retranslate();

    if (!variant.lastConnectionGroup.isEmpty()) {
        QSettings settings(testerSettingsPath(), QSettings::IniFormat);
        settings.beginGroup(variant.lastConnectionGroup);
        const QString ip = settings.value(shellsettings::LastAddress).toString();
        if (!ip.isEmpty()) {
            const int index = ui->comboBoxIP->findText(ip, Qt::MatchExactly);
            if (index >= 0) {
                ui->comboBoxIP->setCurrentIndex(index);
            } else {
                QTimer::singleShot(100, this, [this, ip] {
                    ui->comboBoxIP->setCurrentIndex(-1);
                    ui->comboBoxIP->setEditText(ip);
                    if (QLineEdit *edit = ui->comboBoxIP->lineEdit())
                        edit->deselect();
                });
            }
        }
        ui->lineEditPort->setText(settings.value(shellsettings::LastPort).toString());
    }

    QString title = QStringLiteral("KAVRO AppVer:") + QCoreApplication::applicationVersion();
    const QString libraryVersion = QString::fromStdString(
        loadedModuleVersion(moduleFileName(variant.libraryName.toStdString())));
    if (!libraryVersion.isEmpty())
        title += QStringLiteral("  DllVer:") + libraryVersion;
    setWindowTitle(title);
}

MainWindow::~MainWindow()
{
    // A search still running delivers to nobody from now on; its probe (one discovery pass
    // at most) is waited for, since it may still use this window.
    gate->close();
    SearchGate::waitForWorkers(std::chrono::milliseconds(3000));
    // The panels close their cards as they go.
    while (ui->tabWidget->count() > 0) {
        QWidget *panel = ui->tabWidget->widget(0);
        ui->tabWidget->removeTab(0);
        delete panel;
    }
    delete ui;
}

QComboBox *MainWindow::connectionBox() const
{
    return ui->comboBoxIP;
}

int MainWindow::cardNumberFor(const QString &key)
{
    std::lock_guard<std::mutex> lock(cardNumbersMutex);
    const auto it = cardNumbers.constFind(key);
    if (it != cardNumbers.constEnd())
        return it.value();
    bool taken[16] = {};
    for (int n : cardNumbers)
        if (n >= 0 && n < 16)
            taken[n] = true;
    for (int n = 0; n < 16; ++n) {
        if (!taken[n]) {
            cardNumbers.insert(key, n);
            return n;
        }
    }
    return -1;
}

KAVROWidget *MainWindow::panelFor(int comno) const
{
    for (int i = 0; i < ui->tabWidget->count(); ++i) {
        auto *panel = qobject_cast<KAVROWidget *>(ui->tabWidget->widget(i));
        if (panel && panel->comno() == comno)
            return panel;
    }
    return nullptr;
}

void MainWindow::retranslate()
{
    ui->retranslateUi(this);
    if (variant.portCaption)
        ui->label->setText(tr(variant.portCaption));
    GQTranslatorManager *languages = GQTranslatorManager::instance();
    for (int i = 0; i < ui->comboBoxLanguage->count(); ++i)
        ui->comboBoxLanguage->setItemText(
            i, QCoreApplication::translate("GQTranslatorManager",
                                           languages->languageName(i).toUtf8().constData()));
    // The box keeps the minimum of the language it was first shown in, and the bar is short of
    // room in English: without a minimum of the current items it is squeezed below them.
    ui->comboBoxLanguage->setMinimumWidth(ui->comboBoxLanguage->sizeHint().width());
    if (ui->tabWidget->count() == 0)
        ui->stackedWidget->setCurrentIndex(0);
}

void MainWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QMainWindow::changeEvent(event);
}

void MainWindow::on_comboBoxLanguage_currentIndexChanged(int)
{
    if (!isVisible())
        return;
    const int index = ui->comboBoxLanguage->currentIndex();
    {
        QSettings settings(testerSettingsPath(), QSettings::IniFormat);
        settings.setValue(shellsettings::Language, index);
    }
    GQTranslatorManager::instance()->setLanguage(index);
}

void MainWindow::openCard(const QString &portText, int comno, const QString &title)
{
    const int result = iolb_board_open(portText.toLocal8Bit().constData(), quint16(comno));
    if (result != 0) {
        QMessageBox::critical(nullptr, tr("Failed to open"), errorText(result));
        return;
    }
    if (panelFor(comno))
        return;
    auto *panel = new KAVROWidget(comno, variant.panel, this);
    ui->tabWidget->addTab(panel, QIcon(variant.tabIcon), title);
    ui->stackedWidget->setCurrentIndex(1);
}

int MainWindow::cardNumberOf(const QString &field, const QString &key)
{
    return variant.fixedPortText.isEmpty() ? cardNumberFor(key) : field.toInt(nullptr, 10);
}

void MainWindow::on_pushButtonOpen_clicked()
{
    const QString field = ui->comboBoxIP->currentText();
    QString key = field;
    if (variant.portField) {
        const QString port = ui->lineEditPort->text();
        if (field.isEmpty()) {
            QMessageBox::critical(nullptr, tr("Error"), tr("The IP address cannot be empty."));
            return;
        }
        if (port.isEmpty()) {
            QMessageBox::critical(nullptr, tr("Error"), tr("The Port cannot be empty."));
            return;
        }
        key += QLatin1Char(':') + port;
    } else if (field.isEmpty()) {
        QMessageBox::critical(nullptr, tr("Error"),
                              tr("Card number not selected. Please select a card number first."));
        return;
    }
    const int number = cardNumberOf(field, key);
    if (variant.fixedPortText.isEmpty())
        openCard(key, number, QString::number(number) + QLatin1Char('-') + field);
    else
        openCard(variant.fixedPortText, number, field);
    if (!variant.lastConnectionGroup.isEmpty()) {
        // Kept even when the open failed: the user typed it.
        QSettings settings(testerSettingsPath(), QSettings::IniFormat);
        settings.beginGroup(variant.lastConnectionGroup);
        settings.setValue(shellsettings::LastAddress, field);
        settings.setValue(shellsettings::LastPort, ui->lineEditPort->text());
    }
}

void MainWindow::on_pushButtonClose_clicked()
{
    const QString field = ui->comboBoxIP->currentText();
    const QString key =
        variant.portField ? field + QLatin1Char(':') + ui->lineEditPort->text() : field;
    const int number = cardNumberOf(field, key);
    for (int i = 0; i < ui->tabWidget->count(); ++i) {
        auto *panel = qobject_cast<KAVROWidget *>(ui->tabWidget->widget(i));
        if (panel && panel->comno() == number) {
            ui->tabWidget->removeTab(i);
            delete panel;
            break;
        }
    }
    if (ui->tabWidget->count() == 0)
        ui->stackedWidget->setCurrentIndex(0);
}

void MainWindow::closeTab(int index)
{
    auto *panel = qobject_cast<KAVROWidget *>(ui->tabWidget->widget(index));
    if (!panel)
        return;
    if (variant.fixedPortText.isEmpty()) {
        std::lock_guard<std::mutex> lock(cardNumbersMutex);
        for (auto it = cardNumbers.begin(); it != cardNumbers.end(); ++it) {
            if (it.value() == panel->comno()) {
                cardNumbers.erase(it);
                break;
            }
        }
    }
    ui->tabWidget->removeTab(index);
    delete panel;
    if (ui->tabWidget->count() == 0)
        ui->stackedWidget->setCurrentIndex(0);
}

void MainWindow::on_pushButtonRefresh_clicked()
{
    if (!variant.fixedPorts.isEmpty()) {
        ui->comboBoxIP->clear();
        ui->comboBoxIP->addItems(variant.fixedPorts);
        return;
    }
    startSearch(ui->pushButtonRefresh, tr(variant.portListSearchText), false);
}

void MainWindow::on_pushButtonSearch_clicked()
{
    startSearch(ui->pushButtonSearch, tr("Searching for KAVRO..."), true);
}

void MainWindow::startSearch(QPushButton *button, const QString &label, bool cardSearch)
{
    button->setEnabled(false);
    auto flag = std::make_shared<std::atomic<bool>>(false);
    auto *dialog = new SimpleProgressDialog(label, tr("Cancel"), 0, 0, this);
    dialog->setWindowModality(Qt::WindowModal);
    connect(
        dialog->cancelButton, &QPushButton::clicked, dialog->cancelButton,
        [dialog, flag] {
            flag->exchange(true);
            dialog->messageLabel->setText(tr("Cancelling operation..."));
            dialog->cancelButton->setEnabled(false);
        },
        Qt::DirectConnection);
    dialog->show();

    SearchGate::workerStarted();
    const SearchFunction search = cardSearch ? variant.cardSearch : variant.portListSearch;
    std::thread([window = this, gate = gate, dialog, flag, cardSearch, search] {
        // The window waits for running workers before it goes, so it outlives the probe;
        // the delivery goes through the gate, which the window has closed by then.
        const SearchResult result = search(*window, *flag);
        gate->withWindow([&](MainWindow &w) {
            QObject::disconnect(&w, &MainWindow::updatePortsUI, nullptr, nullptr);
            QObject::connect(&w, &MainWindow::updatePortsUI, &w,
                             cardSearch ? &MainWindow::cardSearchDelivered
                                        : &MainWindow::portListDelivered,
                             Qt::QueuedConnection);
            emit w.updatePortsUI(dialog, result.ports, result.okPorts, flag);
        });
        SearchGate::workerFinished();
    }).detach();
}

void MainWindow::finishSearch(SimpleProgressDialog *dialog, QPushButton *button)
{
    // Hidden now: a message box that follows runs its own event loop, in which the deferred
    // deletion does not happen, and would show above the dialog until it is answered.
    dialog->hide();
    dialog->deleteLater();
    button->setEnabled(true);
}

void MainWindow::portListDelivered(SimpleProgressDialog *dialog, QStringList ports, QString,
                                   std::shared_ptr<std::atomic<bool>> cancelFlag)
{
    if (!cancelFlag->load()) {
        ui->comboBoxIP->clear();
        ui->comboBoxIP->addItems(ports);
    }
    finishSearch(dialog, ui->pushButtonRefresh);
}

void MainWindow::cardSearchDelivered(SimpleProgressDialog *dialog, QStringList ports,
                                     QString okPorts, std::shared_ptr<std::atomic<bool>> cancelFlag)
{
    if (cancelFlag->load()) {
        finishSearch(dialog, ui->pushButtonSearch);
        return;
    }
    ui->comboBoxIP->clear();
    ui->comboBoxIP->addItems(ports);
    if (!ports.isEmpty())
        ui->comboBoxIP->setCurrentIndex(0);
    finishSearch(dialog, ui->pushButtonSearch);
    if (!okPorts.isEmpty()) {
        QMessageBox::information(nullptr, tr("Information"),
                                 tr("The board number of the KAVRO card has been found:\n\r") +
                                     okPorts);
    } else if (variant.notFoundIsError) {
        QMessageBox::critical(nullptr, tr("Error"), tr("KAVRO card not found!"));
    } else {
        QMessageBox::information(nullptr, tr("Information"), tr("KAVRO card not found!"));
    }
}
