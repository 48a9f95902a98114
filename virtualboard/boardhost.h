#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include <QObject>
#include <QString>

class MCUDevice;
class TcpServer;

// A simulated card without a window: the same TCP link, firmware thread and UDP responder as
// the desktop board, with inputs set and outputs read through calls and a signal. One per
// process, as the firmware is.
class BoardHost : public QObject
{
    Q_OBJECT
public:
    explicit BoardHost(QObject *parent = nullptr);
    ~BoardHost() override;

    // Listens on address and port (0 picks a free one), then starts the UDP responder when
    // asked, then the firmware. False when the TCP listener cannot start.
    bool open(const QString &address, quint16 port, bool udp);
    void close();
    bool isOpen() const { return m_open; }
    quint16 port() const;
    bool udpRunning() const;

    void setInput(int bit, bool on);
    bool output(int bit) const;

signals:
    // Only real changes of an output's level.
    void outputChanged(int bit, bool on);

private:
    TcpServer *m_server;
    MCUDevice *m_device;
    bool m_open = false;
    // Written on this thread, read by the firmware thread: one byte each, no lock.
    std::array<std::atomic<std::uint8_t>, 32> m_inputs{};
    std::array<bool, 32> m_outputs{};
};
