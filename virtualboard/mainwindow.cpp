#include "mainwindow.h"

#include "aboutdialog.h"
#include "discovery/cardidentity.h"
#include "discovery/protocol.h"
#include "ledlabel.h"
#include "mcu.h"
#include "mcudevice.h"
#include "qtcommon/localaddresses.h"
#include "tcpserver.h"
#include "ui_mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QGridLayout>
#include <QHostAddress>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>
#include <QTranslator>

namespace {

const char *const kAppName = "KAVROVirtualBoard_Network";
const char *const kAppIcon = ":/image/KAVROVirtualBoard.ico";
const char *const kCycleRunningStyle = "background-color: rgb(255, 0, 0);";

std::optional<bool> trayAvailableOverride;

} // namespace

void MainWindow::setSystemTrayAvailableForTest(std::optional<bool> available)
{
    trayAvailableOverride = available;
}

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), m_translator(new QTranslator(this)),
      m_settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Vastrel"),
                 QString::fromLatin1(kAppName))
{
    ui->setupUi(this);

    const QStringList addresses = localIPv4Addresses();
    ui->comboBoxCOM->addItems(addresses);
    ui->comboBoxLan->addItem(tr("English"));
    ui->comboBoxLan->addItem(tr("Chinese"));
    ui->comboBoxIOGroup->addItem(QStringLiteral("0"));

    m_tcpServer = new TcpServer(this);
    const QString startIp =
        addresses.isEmpty() ? QStringLiteral("192.168.1.100") : addresses.first();
    m_configResponder = std::make_unique<MCUDevice>(
        generateMac(), startIp, QStringLiteral("255.255.255.0"),
        QString::fromStdString(kavro::discovery::startGateway(startIp.toStdString())),
        kavro::discovery::kDiscoveryPort);

    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setInterval(16);
    connect(m_refreshTimer, &QTimer::timeout, this, &MainWindow::refreshTick);
    m_refreshTimer->start();

    MCU *mcu = MCU::instance();
    connect(m_tcpServer, &TcpServer::dataReceived, mcu, &MCU::ReciveData);
    m_tcpServer->setIntakeLimit([mcu] { return mcu->pendingBytes(); }, MCU::IntakeBound);
    connect(mcu, &MCU::SetOutBitLevel, this, [this](uchar group, uchar nBit, bool bH) {
        if (group >= GroupCount || nBit >= ChannelsPerGroup)
            return;
        m_outputStates[std::size_t(group * ChannelsPerGroup + nBit)] = bH ? 0 : 1;
        if (group == shownGroup())
            m_outputsDirty = true;
    });
    connect(
        mcu, &MCU::GetInBitLevel, this,
        [this](uchar group, uchar nBit) -> bool {
            if (group >= GroupCount || nBit >= ChannelsPerGroup)
                return false;
            return m_inputStates[std::size_t(group * ChannelsPerGroup + nBit)].load(
                       std::memory_order_relaxed) != 0;
        },
        Qt::DirectConnection);
    connect(mcu, &MCU::SendBuf, this,
            [this](const QByteArray &frame) { m_tcpServer->broadcast(frame); });
    connect(ui->comboBoxIOGroup, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this] {
        updateCycleButton();
        refreshInputLeds();
        refreshOutputLeds();
    });

    m_legendOff = new LEDLabel(this);
    m_legendOff->setObjectName(QStringLiteral("legendLedOff"));
    m_legendOff->setClickable(false);
    m_legendOff->setState(false);
    m_legendOff->setText(tr("No signal"));
    m_legendOn = new LEDLabel(this);
    m_legendOn->setObjectName(QStringLiteral("legendLedOn"));
    m_legendOn->setClickable(false);
    m_legendOn->setState(true);
    m_legendOn->setText(tr("Signal"));
    ui->verticalLayoutLegend->addWidget(m_legendOff);
    ui->verticalLayoutLegend->addWidget(m_legendOn);

    auto makeGrid = [](QWidget *box) {
        auto *grid = new QGridLayout(box);
        grid->setSpacing(5);
        grid->setContentsMargins(5, 5, 5, 5);
        return grid;
    };
    QGridLayout *inputGrid = makeGrid(ui->groupBoxInput);
    QGridLayout *outputGrid = makeGrid(ui->groupBoxOutput);
    for (int n = 0; n < ChannelsPerGroup; ++n) {
        auto *led = new LEDLabel(ui->groupBoxInput);
        led->setObjectName(QStringLiteral("inputLed_%1").arg(n));
        led->setText(QString::number(n));
        led->setClickable(true);
        connect(led, &LEDLabel::clicked, this, [this, n](bool currentState) {
            m_inputStates[std::size_t(shownGroup() * ChannelsPerGroup + n)].store(
                currentState ? 1 : 0, std::memory_order_relaxed);
        });
        inputGrid->addWidget(led, n / 8, n % 8);
        m_inputLeds.push_back(led);
    }
    for (int n = 0; n < ChannelsPerGroup; ++n) {
        auto *led = new LEDLabel(ui->groupBoxOutput);
        led->setObjectName(QStringLiteral("outputLed_%1").arg(n));
        led->setText(QString::number(n));
        led->setClickable(false);
        outputGrid->addWidget(led, n / 8, n % 8);
        m_outputLeds.push_back(led);
    }

    m_showAction = new QAction(QIcon(QStringLiteral(":/image/display.bmp")), tr("Show"), this);
    m_aboutAction = new QAction(QIcon(QStringLiteral(":/image/tanhao.bmp")), tr("About"), this);
    m_quitAction = new QAction(QIcon(QStringLiteral(":/image/shutdown.bmp")), tr("Quit"), this);
    connect(m_showAction, &QAction::triggered, this, &QWidget::showNormal);
    connect(m_aboutAction, &QAction::triggered, this, [this] {
        AboutDialog dialog(this);
        dialog.exec();
    });
    connect(m_quitAction, &QAction::triggered, qApp, &QCoreApplication::quit);
    m_trayMenu = new QMenu(this);
    m_trayMenu->addAction(m_showAction);
    m_trayMenu->addAction(m_aboutAction);
    m_trayMenu->addAction(m_quitAction);
    m_trayIcon = new QSystemTrayIcon(QIcon(QString::fromLatin1(kAppIcon)), this);
    m_trayIcon->setToolTip(QString::fromLatin1(kAppName));
    m_trayIcon->setContextMenu(m_trayMenu);
    m_blinkIcons = {QIcon(QStringLiteral(":/image/icoI.ico")),
                    QIcon(QStringLiteral(":/image/icoO.ico"))};
    m_blinkIndex = 0;
    m_blinkTimer = new QTimer(this);
    connect(m_blinkTimer, &QTimer::timeout, this, [this] {
        m_trayIcon->setIcon(m_blinkIcons[m_blinkIndex]);
        m_blinkIndex = (m_blinkIndex + 1) % 2;
    });
    for (int g = 0; g < GroupCount; ++g) {
        m_cycleTimers[std::size_t(g)] = new QTimer(this);
        connect(m_cycleTimers[std::size_t(g)], &QTimer::timeout, this,
                [this, g] { cycleInputTick(g); });
    }

    setWindowTitle(QString::fromLatin1(kAppName));
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, &MainWindow::trayIconActivated);
    m_trayIcon->setVisible(true);

    const QVariant language = m_settings.value(QStringLiteral("language"));
    if (!language.isValid()) {
        if (QLocale::system().language() == QLocale::Chinese) {
            switchLanguage(1);
            m_settings.setValue(QStringLiteral("language"), 1);
            ui->comboBoxLan->setCurrentIndex(1);
        } else {
            m_settings.setValue(QStringLiteral("language"), 0);
            ui->comboBoxLan->setCurrentIndex(0);
        }
    } else if (language.toInt() != 0) {
        switchLanguage(1);
        ui->comboBoxLan->setCurrentIndex(1);
    } else {
        ui->comboBoxLan->setCurrentIndex(0);
    }

    connect(ui->comboBoxLan, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this](int index) {
                switchLanguage(index != 0 ? 1 : 0);
                m_settings.setValue(QStringLiteral("language"), index);
            });

    ui->comboBoxCOM->setEnabled(true);
    ui->lineEditPort->setEnabled(true);
    ui->lineEditTimerInterval->setEnabled(false);
    ui->pushButtonCycleInput->setEnabled(false);
    ui->comboBoxIOGroup->setEnabled(false);
}

MainWindow::~MainWindow()
{
    // The firmware thread answers input questions from this window: it must end first.
    m_tcpServer->stopServer();
    MCU::instance()->stopFirmware();
    MCU::instance()->disconnect(this);
    m_configResponder.reset();
    delete ui;
}

bool MainWindow::isOpened() const
{
    return ui->pushButtonOpen->property("opened").toBool();
}

std::uint8_t MainWindow::inputState(int channel) const
{
    return m_inputStates.at(std::size_t(channel)).load(std::memory_order_relaxed);
}

std::uint8_t MainWindow::outputState(int channel) const
{
    return m_outputStates.at(std::size_t(channel));
}

int MainWindow::shownGroup() const
{
    return int(ui->comboBoxIOGroup->currentText().toUInt(nullptr, 10));
}

bool MainWindow::trayUsable() const
{
    // Without a system tray a hidden window could never be brought back.
    const bool available = trayAvailableOverride.has_value()
                               ? *trayAvailableOverride
                               : QSystemTrayIcon::isSystemTrayAvailable();
    return m_trayIcon->isVisible() && available;
}

void MainWindow::on_pushButtonOpen_clicked()
{
    if (!isOpened()) {
        const QString address = ui->comboBoxCOM->currentText();
        const quint16 port = quint16(ui->lineEditPort->text().toUInt(nullptr, 10));
        if (m_tcpServer->startServer(address, port, 30)) {
            ui->pushButtonOpen->setProperty("opened", true);
            m_configResponder->onChanged = [this](const QString &) { updateTitle(); };
            m_configResponder->start(address);
            for (auto &s : m_inputStates)
                s.store(0, std::memory_order_relaxed);
            m_outputStates.fill(0);
            updateCycleButton();
            refreshInputLeds();
            refreshOutputLeds();
            MCU::instance()->startFirmware();
            m_blinkTimer->start(500);
            ui->pushButtonOpen->setText(tr("Close"));
            updateControls(true);
        }
        updateTitle();
        return;
    }

    m_tcpServer->stopServer();
    MCU::instance()->stopFirmware();
    m_blinkTimer->stop();
    m_trayIcon->setIcon(QIcon(QString::fromLatin1(kAppIcon)));
    ui->pushButtonOpen->setProperty("opened", false);
    m_configResponder->stop();
    m_cycleTimers[0]->stop();
    updateCycleButton();
    ui->pushButtonOpen->setText(tr("Open"));
    updateControls(false);
    updateTitle();
}

void MainWindow::on_pushButtonCycleInput_clicked()
{
    QTimer *timer = m_cycleTimers[std::size_t(shownGroup())];
    if (timer->isActive())
        timer->stop();
    else
        timer->start(int(ui->lineEditTimerInterval->text().toUInt(nullptr, 10)));
    updateCycleButton();
}

void MainWindow::cycleInputTick(int group)
{
    auto &position = m_cyclePositions[std::size_t(group)];
    auto &level = m_inputStates[std::size_t(group * ChannelsPerGroup + position)];
    level.store(level.load(std::memory_order_relaxed) ? 0 : 1, std::memory_order_relaxed);
    if (group == shownGroup())
        m_inputsDirty = true;
    position = (position + 1) % ChannelsPerGroup;
}

void MainWindow::updateControls(bool opened)
{
    ui->comboBoxCOM->setEnabled(!opened);
    ui->lineEditPort->setEnabled(!opened);
    ui->lineEditTimerInterval->setEnabled(opened);
    ui->pushButtonCycleInput->setEnabled(opened);
    ui->comboBoxIOGroup->setEnabled(opened);
}

void MainWindow::updateCycleButton()
{
    const bool running = m_cycleTimers[std::size_t(shownGroup())]->isActive();
    ui->pushButtonCycleInput->setStyleSheet(running ? QString::fromLatin1(kCycleRunningStyle)
                                                    : QString());
}

void MainWindow::updateTitle()
{
    QString text = QString::fromLatin1(kAppName);
    if (m_configResponder->isRunning()) {
        text += QStringLiteral("\r  MAC:") + m_configResponder->mac();
        text += QStringLiteral("\r  IP:") + m_configResponder->ip();
        text += QStringLiteral("\r  GW:") + m_configResponder->gateway();
    }
    m_trayIcon->setToolTip(text);
    setWindowTitle(QString(text).remove(QLatin1Char('\r')));
}

void MainWindow::refreshInputLeds()
{
    const int base = shownGroup() * ChannelsPerGroup;
    for (int n = 0; n < ChannelsPerGroup; ++n)
        m_inputLeds[std::size_t(n)]->setState(
            m_inputStates[std::size_t(base + n)].load(std::memory_order_relaxed) != 0);
}

void MainWindow::refreshOutputLeds()
{
    const int base = shownGroup() * ChannelsPerGroup;
    for (int n = 0; n < ChannelsPerGroup; ++n)
        m_outputLeds[std::size_t(n)]->setState(m_outputStates[std::size_t(base + n)] != 0);
}

void MainWindow::refreshTick()
{
    if (m_inputsDirty) {
        m_inputsDirty = false;
        refreshInputLeds();
    }
    if (m_outputsDirty) {
        m_outputsDirty = false;
        ++m_outputRefreshPasses;
        refreshOutputLeds();
    }
}

void MainWindow::switchLanguage(int language)
{
    QCoreApplication::removeTranslator(m_translator);
    const QString path = QCoreApplication::applicationDirPath() + QDir::separator() +
                         (language == 0 ? QStringLiteral("KAVROVirtualBoard_en.qm")
                                        : QStringLiteral("KAVROVirtualBoard_CN.qm"));
    if (m_translator->load(path))
        QCoreApplication::installTranslator(m_translator);
    ui->retranslateUi(this);
    // The form's texts say "Open"; an open card keeps its "Close".
    if (isOpened())
        ui->pushButtonOpen->setText(tr("Close"));
}

void MainWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        m_legendOff->setText(tr("No signal"));
        m_legendOn->setText(tr("Signal"));
        ui->comboBoxLan->setItemText(0, tr("English"));
        ui->comboBoxLan->setItemText(1, tr("Chinese"));
        m_showAction->setText(tr("Show"));
        m_aboutAction->setText(tr("About"));
        m_quitAction->setText(tr("Quit"));
        setWindowTitle(QString::fromLatin1(kAppName));
    }
    QMainWindow::changeEvent(event);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!trayUsable()) {
        event->accept();
        return;
    }
    const auto answer = QMessageBox::question(
        this, QString::fromLatin1(kAppName),
        tr("Do you want to exit the application (YES) or keep it running in the background (NO)?"),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::No);
    if (answer == QMessageBox::Yes) {
        event->accept();
        QCoreApplication::quit();
    } else if (answer == QMessageBox::No) {
        hide();
        event->ignore();
        m_trayIcon->showMessage(QString::fromLatin1(kAppName),
                                tr("Application is still running in the background."),
                                QSystemTrayIcon::Information, 2000);
    } else {
        event->ignore();
    }
}

void MainWindow::trayIconActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
        if (isVisible())
            hide();
        else
            show();
    }
}

void MainWindow::showWindow()
{
    show();
    raise();
    activateWindow();
}

void MainWindow::hideWindow()
{
    hide();
}
