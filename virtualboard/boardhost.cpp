#include "boardhost.h"

#include "mcu.h"
#include "mcudevice.h"
#include "tcpserver.h"

BoardHost::BoardHost(QObject *parent)
    : QObject(parent), m_server(new TcpServer(this)),
      m_device(new MCUDevice(generateMac(), QString(), QString(), QString(), 23456, this))
{
    MCU *mcu = MCU::instance();
    connect(m_server, &TcpServer::dataReceived, mcu, &MCU::ReciveData);
    connect(mcu, &MCU::SendBuf, this,
            [this](const QByteArray &frame) { m_server->broadcast(frame); });
    connect(mcu, &MCU::SetOutBitLevel, this, [this](uchar group, uchar nBit, bool bH) {
        if (group != 0 || nBit >= 32)
            return;
        const bool on = !bH;
        if (m_outputs[nBit] != on) {
            m_outputs[nBit] = on;
            emit outputChanged(nBit, on);
        }
    });
    connect(
        mcu, &MCU::GetInBitLevel, this,
        [this](uchar group, uchar nBit) {
            return group == 0 && nBit < 32 && m_inputs[nBit].load(std::memory_order_relaxed);
        },
        Qt::DirectConnection);
}

BoardHost::~BoardHost()
{
    // The firmware answers input questions from this object: stop it first.
    close();
    MCU::instance()->disconnect(this);
}

bool BoardHost::open(const QString &address, quint16 port, bool udp)
{
    if (m_open)
        close();
    if (!m_server->startServer(address, port, 30))
        return false;
    if (udp)
        m_device->start(address);
    MCU::instance()->startFirmware();
    m_open = true;
    return true;
}

void BoardHost::close()
{
    if (!m_open)
        return;
    m_server->stopServer();
    MCU::instance()->stopFirmware();
    m_device->stop();
    m_open = false;
}

quint16 BoardHost::port() const
{
    return m_server->serverPort();
}

bool BoardHost::udpRunning() const
{
    return m_device->isRunning();
}

void BoardHost::setInput(int bit, bool on)
{
    if (bit >= 0 && bit < 32)
        m_inputs[std::size_t(bit)].store(on ? 1 : 0, std::memory_order_relaxed);
}

bool BoardHost::output(int bit) const
{
    return bit >= 0 && bit < 32 && m_outputs[std::size_t(bit)];
}
