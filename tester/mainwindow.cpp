#include "mainwindow.h"

#include "errortext.h"
#include "gqtranslatormanager.h"
#include "kavro_iolb.h"
#include "kavrowidget.h"
#include "moduleversion.h"
#include "searchgate.h"
#include "simpleprogressdialog.h"
#include "ui_mainwindow.h"
#include "variant.h"

#include <thread>

#include <QDir>
#include <QHostAddress>
#include <QLabel>
#include <QMessageBox>
#include <QNetworkInterface>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

using variant::Build;

QStringList localIPv4Addresses()
{
    QStringList list;
    for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol &&
            address != QHostAddress(QHostAddress::LocalHost))
            list << address.toString();
    }
    list << QStringLiteral("127.0.0.1");
    return list;
}

void registerSearchTypes()
{
    qRegisterMetaType<std::shared_ptr<std::atomic<bool>>>("std::shared_ptr<std::atomic<bool>>");
    qRegisterMetaType<SimpleProgressDialog *>("SimpleProgressDialog*");
}

QString testerSettingsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QDir::separator() +
           QStringLiteral("KAVRO.cfg");
}

void applySavedLanguage()
{
    const QSettings settings(testerSettingsPath(), QSettings::IniFormat);
    GQTranslatorManager::instance()->setLanguage(
        settings.value(QStringLiteral("Language/CurLan"), QStringLiteral("0")).toInt());
}

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), gate(std::make_shared<SearchGate>(this))
{
    ui->setupUi(this);
    ui->stackedWidget->setCurrentIndex(0);
    if (variant::build() != Build::Net) {
        // The serial-port and PCIe bars name a card, not an address and a port. The form's
        // caption pass still sets the port's caption, so the widgets leave the window but live.
        for (QWidget *unused :
             {static_cast<QWidget *>(ui->label_2), static_cast<QWidget *>(ui->lineEditPort)}) {
            ui->horizontalLayout_2->removeWidget(unused);
            unused->setParent(nullptr);
            unusedWidgets.emplace_back(unused);
        }
        ui->comboBoxIP->setObjectName(QStringLiteral("comboBoxBoardNo"));
        ui->comboBoxIP->setMinimumWidth(90);
    }

    GQTranslatorManager *languages = GQTranslatorManager::instance();
    for (int i = 0; i < languages->languageCount(); ++i)
        ui->comboBoxLanguage->addItem(QIcon(), languages->languageName(i));
    ui->comboBoxLanguage->setCurrentIndex(int(languages->language()));

    connect(ui->tabWidget, &QTabWidget::tabCloseRequested, this, &MainWindow::closeTab);

    if (variant::build() == Build::Pcie)
        fillPcieNumbers();
    else
        on_pushButtonRefresh_clicked();

    retranslate();

    if (variant::build() == Build::Net) {
        QSettings settings(settingsPath(), QSettings::IniFormat);
        settings.beginGroup(QStringLiteral("CardLast"));
        const QString ip = settings.value(QStringLiteral("IP")).toString();
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
        ui->lineEditPort->setText(settings.value(QStringLiteral("Port")).toString());
    }

    QString title = QStringLiteral("KAVRO AppVer:") + QCoreApplication::applicationVersion();
    const QString libraryVersion =
        QString::fromStdString(loadedModuleVersion(moduleFileName(variant::libraryName())));
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

QString MainWindow::settingsPath() const
{
    return testerSettingsPath();
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
    switch (variant::build()) {
    case Build::Com:
        ui->label->setText(tr("Serial Port"));
        break;
    case Build::Pcie:
        ui->label->setText(tr("PCIE Port"));
        break;
    case Build::Net:
        break;
    }
    GQTranslatorManager *languages = GQTranslatorManager::instance();
    for (int i = 0; i < ui->comboBoxLanguage->count(); ++i)
        ui->comboBoxLanguage->setItemText(
            i, QCoreApplication::translate("GQTranslatorManager",
                                           languages->languageName(i).toUtf8().constData()));
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
        QSettings settings(settingsPath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("Language/CurLan"), index);
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
    auto *panel = new KAVROWidget(comno, this);
    const QString icon = variant::build() == Build::Pcie ? QStringLiteral(":/image/PCIe.png")
                                                         : QStringLiteral(":/image/Com.png");
    ui->tabWidget->addTab(panel, QIcon(icon), title);
    ui->stackedWidget->setCurrentIndex(1);
}

void MainWindow::on_pushButtonOpen_clicked()
{
    const QString field = ui->comboBoxIP->currentText();
    switch (variant::build()) {
    case Build::Net: {
        const QString port = ui->lineEditPort->text();
        if (field.isEmpty()) {
            QMessageBox::critical(nullptr, tr("Error"), tr("The IP address cannot be empty."));
            return;
        }
        if (port.isEmpty()) {
            QMessageBox::critical(nullptr, tr("Error"), tr("The Port cannot be empty."));
            return;
        }
        const QString key = field + QLatin1Char(':') + port;
        const int number = cardNumberFor(key);
        openCard(key, number, QString::number(number) + QLatin1Char('-') + field);
        QSettings settings(settingsPath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("CardLast/IP"), field);
        settings.setValue(QStringLiteral("CardLast/Port"), port);
        break;
    }
    case Build::Com: {
        if (field.isEmpty()) {
            QMessageBox::critical(
                nullptr, tr("Error"),
                tr("Card number not selected. Please select a card number first."));
            return;
        }
        const int number = cardNumberFor(field);
        openCard(field, number, QString::number(number) + QLatin1Char('-') + field);
        break;
    }
    case Build::Pcie:
        if (field.isEmpty()) {
            QMessageBox::critical(
                nullptr, tr("Error"),
                tr("Card number not selected. Please select a card number first."));
            return;
        }
        openCard(QStringLiteral("PCIE"), field.toInt(nullptr, 10), field);
        break;
    }
}

void MainWindow::on_pushButtonClose_clicked()
{
    const QString field = ui->comboBoxIP->currentText();
    int number = 0;
    switch (variant::build()) {
    case Build::Net:
        number = cardNumberFor(field + QLatin1Char(':') + ui->lineEditPort->text());
        break;
    case Build::Com:
        number = cardNumberFor(field);
        break;
    case Build::Pcie:
        number = field.toInt(nullptr, 10);
        break;
    }
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
    if (variant::build() != Build::Pcie) {
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

void MainWindow::fillPcieNumbers()
{
    ui->comboBoxIP->clear();
    for (int n = 0; n < 16; ++n)
        ui->comboBoxIP->addItem(QString::number(n));
}

void MainWindow::on_pushButtonRefresh_clicked()
{
    if (variant::build() == Build::Pcie) {
        fillPcieNumbers();
        return;
    }
    startSearch(ui->pushButtonRefresh,
                variant::build() == Build::Com ? tr("Searching for serial ports...")
                                               : tr("Searching for IP..."),
                false);
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
    std::thread([window = this, gate = gate, dialog, flag, cardSearch] {
        // The window waits for running workers before it goes, so it outlives the probe;
        // the delivery goes through the gate, which the window has closed by then.
        const variant::SearchResult result = cardSearch ? variant::cardSearch(*window, *flag)
                                                        : variant::portListSearch(*window, *flag);
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

void MainWindow::portListDelivered(SimpleProgressDialog *dialog, QStringList ports, QString,
                                   std::shared_ptr<std::atomic<bool>> cancelFlag)
{
    if (!cancelFlag->load()) {
        ui->comboBoxIP->clear();
        ui->comboBoxIP->addItems(ports);
    }
    dialog->deleteLater();
    ui->pushButtonRefresh->setEnabled(true);
}

void MainWindow::cardSearchDelivered(SimpleProgressDialog *dialog, QStringList ports,
                                     QString okPorts, std::shared_ptr<std::atomic<bool>> cancelFlag)
{
    if (cancelFlag->load()) {
        dialog->deleteLater();
        ui->pushButtonSearch->setEnabled(true);
        return;
    }
    ui->comboBoxIP->clear();
    ui->comboBoxIP->addItems(ports);
    if (!ports.isEmpty())
        ui->comboBoxIP->setCurrentIndex(0);
    dialog->deleteLater();
    ui->pushButtonSearch->setEnabled(true);
    if (!okPorts.isEmpty()) {
        QMessageBox::information(nullptr, tr("Information"),
                                 tr("The board number of the KAVRO card has been found:\n\r") +
                                     okPorts);
    } else if (variant::build() == Build::Com) {
        QMessageBox::critical(nullptr, tr("Error"), tr("KAVRO card not found!"));
    } else {
        QMessageBox::information(nullptr, tr("Information"), tr("KAVRO card not found!"));
    }
}
