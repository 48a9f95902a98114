#pragma once

#include <atomic>
#include <memory>

#include <QByteArray>
#include <QObject>
#include <QSemaphore>
#include <QThread>

namespace kavro::firmware {
class FirmwareEngine;
}
class Worker;

// The one simulated card of the process. It owns the firmware engine, whose state outlives
// every stop and start, runs its loop on a thread of its own and meets the rest of the program
// through three signals and one slot:
//  - SetOutBitLevel and SendBuf are emitted on the firmware thread; receivers on the GUI
//    thread get them queued. SendBuf carries its own copy of the 17 frame bytes.
//  - GetInBitLevel must be connected directly: it is answered inside the emission, on the
//    firmware thread. With no receiver every input reads 0.
//  - ReciveData may be called from one thread at a time (the GUI thread in practice).
class MCU : public QObject
{
    Q_OBJECT
public:
    static MCU *instance();
    ~MCU() override;

    void startFirmware();
    void stopFirmware();
    bool isRunning() const { return running; }

    // Called on the firmware thread when it starts; returns when a stop is requested.
    // startFirmware() returns only once the start-up has emptied the intake, so bytes that
    // arrive after it are never discarded.
    void runFirmware();

    // How many times the loop has run since the process started.
    quint64 firmwareRuns() const { return runs.load(); }
    // Received bytes the card has not consumed yet, and how many it may hold: past the bound
    // the link stops reading its sockets until the card has caught up.
    quint64 pendingBytes() const;
    quint64 intakeHighWater() const;
    static constexpr quint64 IntakeBound = 64 * 1024;

signals:
    void SetOutBitLevel(uchar group, uchar nBit, bool bH);
    bool GetInBitLevel(uchar group, uchar nBit);
    void SendBuf(const QByteArray &frame);

public slots:
    void ReciveData(const QByteArray &data);

private:
    MCU();
    class Port;

    std::unique_ptr<Port> port;
    std::unique_ptr<kavro::firmware::FirmwareEngine> engine;
    QThread thread;
    Worker *worker = nullptr;
    bool running = false;
    bool startConnected = false;
    std::atomic<bool> stop{false};
    std::atomic<quint64> runs{0};
    QSemaphore startedUp;
};
