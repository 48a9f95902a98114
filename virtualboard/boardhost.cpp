#include "boardhost.h"

#include "discovery/protocol.h"
#include "firmware/cardlevels.h"
#include "mcu.h"
#include "mcudevice.h"
#include "tcpserver.h"

class BoardHost::Levels : public kavro::firmware::CardLevels
{
public:
    explicit Levels(BoardHost *owner) : host(owner) {}
    // Frames travel through the MCU's own signal.
    void SendBuf(kavro::link::CardWireFrame) override {}

protected:
    void outputChanged(int bit, bool on) override { emit host->outputChanged(bit, on); }

private:
    BoardHost *host;
};

BoardHost::BoardHost(QObject *parent)
    : QObject(parent), m_server(new TcpServer(this)),
      m_device(new MCUDevice(generateMac(), QString(), QString(), QString(),
                             kavro::discovery::kDiscoveryPort, this)),
      m_levels(std::make_unique<Levels>(this))
{
    MCU *mcu = MCU::instance();
    connect(m_server, &TcpServer::dataReceived, mcu, &MCU::ReciveData);
    m_server->setIntakeLimit([mcu] { return mcu->pendingBytes(); }, MCU::IntakeBound);
    connect(mcu, &MCU::SendBuf, this,
            [this](const QByteArray &frame) { m_server->broadcast(frame); });
    connect(mcu, &MCU::SetOutBitLevel, this, [this](uchar group, uchar nBit, bool bH) {
        m_levels->SetOutBitLevel(group, nBit, bH);
    });
    connect(
        mcu, &MCU::GetInBitLevel, this,
        [this](uchar group, uchar nBit) { return m_levels->GetInBitLevel(group, nBit); },
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
    m_levels->setInput(bit, on);
}

bool BoardHost::output(int bit) const
{
    return m_levels->output(bit);
}
