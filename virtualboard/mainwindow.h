#pragma once

#include "link/cardidentity.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QSettings>
#include <QStringList>
#include <QSystemTrayIcon>

namespace Ui {
class MainWindow;
}
class LEDLabel;
class MCUDevice;
class QAction;
class QMenu;
class QTimer;
class QTranslator;
class TcpServer;


// The virtual board's window: picks address and port, opens the simulated card (TCP link, UDP
// responder, firmware thread), lets the user toggle inputs and shows the outputs the client
// drives. It holds the levels and the glue; the protocol lives in the classes it owns.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr int GroupCount = kavro::link::kNetCardGroups;
    static constexpr int ChannelsPerGroup = kavro::link::kNetCardBitsPerGroup;

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Read-only views for tests and diagnostics.
    bool isOpened() const;
    std::uint8_t inputState(int channel) const;
    std::uint8_t outputState(int channel) const;
    const MCUDevice *configResponder() const { return m_configResponder.get(); }
    const TcpServer *tcpServer() const { return m_tcpServer; }
    QSystemTrayIcon *trayIcon() const { return m_trayIcon; }
    int outputRefreshPasses() const { return m_outputRefreshPasses; }

    // Whether the desktop has a system tray; tests may decide it instead of the platform.
    static void setSystemTrayAvailableForTest(std::optional<bool> available);

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

public slots:
    void trayIconActivated(QSystemTrayIcon::ActivationReason reason);
    void showWindow();
    void hideWindow();

private slots:
    void on_pushButtonOpen_clicked();
    void on_pushButtonCycleInput_clicked();

private:
    void switchLanguage(int language);
    void updateTitle();
    void updateControls(bool opened);
    void updateCycleButton();
    void refreshInputLeds();
    void refreshOutputLeds();
    void refreshTick();
    void cycleInputTick(int group);
    int shownGroup() const;
    bool trayUsable() const;

    Ui::MainWindow *ui;
    QTranslator *m_translator;
    QSettings m_settings;
    QSystemTrayIcon *m_trayIcon = nullptr;
    QMenu *m_trayMenu = nullptr;
    QAction *m_showAction = nullptr;
    QAction *m_aboutAction = nullptr;
    QAction *m_quitAction = nullptr;
    LEDLabel *m_legendOff = nullptr;
    LEDLabel *m_legendOn = nullptr;
    QTimer *m_blinkTimer = nullptr;
    QList<QIcon> m_blinkIcons;
    int m_blinkIndex = 0;
    std::vector<LEDLabel *> m_inputLeds;
    std::vector<LEDLabel *> m_outputLeds;
    // Input levels are written here and read by the firmware thread: one byte each, whole.
    std::array<std::atomic<std::uint8_t>, GroupCount * ChannelsPerGroup> m_inputStates{};
    std::array<std::uint8_t, GroupCount * ChannelsPerGroup> m_outputStates{};
    TcpServer *m_tcpServer = nullptr;
    std::unique_ptr<MCUDevice> m_configResponder;
    std::array<QTimer *, GroupCount> m_cycleTimers{};
    std::array<int, GroupCount> m_cyclePositions{};
    QTimer *m_refreshTimer = nullptr;
    bool m_inputsDirty = false;
    bool m_outputsDirty = false;
    int m_outputRefreshPasses = 0;
};
