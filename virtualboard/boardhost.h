#pragma once

#include <memory>

#include <QObject>
#include <QString>

class MCUDevice;
class TcpServer;

// The desktop board's services without a window: the same TCP link, spinning firmware thread
// and UDP responder, with inputs set and outputs read through calls and a signal, for tests of
// those services. One per process, as the firmware is.
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
    class Levels;

    TcpServer *m_server;
    MCUDevice *m_device;
    bool m_open = false;
    // Inputs are set on this thread and read by the firmware thread (an atomic word); outputs
    // are shown on this thread.
    std::unique_ptr<Levels> m_levels;
};
