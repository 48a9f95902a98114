#include "mcudevice.h"

#include "boardlog.h"
#include "discovery/cardrequests.h"
#include "discovery/macgeneration.h"

#include <QNetworkDatagram>
#include <QUdpSocket>

struct MCUDevice::Private
{
    kavro::discovery::CardIdentity identity;
    bool running = false;
    QUdpSocket *socket = nullptr;
};

QString generateMac()
{
    return QString::fromStdString(kavro::discovery::generateMac());
}

MCUDevice::MCUDevice(const QString &mac, const QString &ip, const QString &subnetMask,
                     const QString &gateway, quint16 port, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    d->identity = kavro::discovery::CardIdentity::withDefaults(
        mac.toLatin1().toStdString(), ip.toLatin1().toStdString(),
        subnetMask.toLatin1().toStdString(), gateway.toLatin1().toStdString(), port);
}

MCUDevice::~MCUDevice()
{
    stop();
    onChanged = nullptr;
}

bool MCUDevice::start(const QString &ip)
{
    if (!d->socket)
        d->socket = new QUdpSocket(this);
    kavro::discovery::CardIdentity &identity = d->identity;
    identity.ip = ip.toLatin1().toStdString();
    if (d->socket->bind(QHostAddress::Any, identity.port)) {
        connect(d->socket, &QUdpSocket::readyRead, this, &MCUDevice::handleReadyRead,
                Qt::UniqueConnection);
        d->running = true;
        qCDebug(boardLog) << "MCU device started. MAC:" << QByteArray::fromStdString(identity.mac)
                          << "IP:" << QByteArray::fromStdString(identity.ip)
                          << "Port:" << identity.port;
        return true;
    }
    qCDebug(boardLog) << "Error starting MCU device:"
                      << QStringLiteral("Failed to bind socket to port %1").arg(identity.port);
    stop();
    return false;
}

void MCUDevice::stop()
{
    if (!d->running)
        return;
    d->socket->close();
    delete d->socket;
    d->socket = nullptr;
    d->running = false;
}

bool MCUDevice::isRunning() const
{
    return d->running;
}

// The texts end at a NUL, as they always have for the window and the owner.
QString MCUDevice::mac() const
{
    return QString::fromLatin1(d->identity.mac.c_str());
}

QString MCUDevice::ip() const
{
    return QString::fromLatin1(d->identity.ip.c_str());
}

QString MCUDevice::subnetMask() const
{
    return QString::fromLatin1(d->identity.subnetMask.c_str());
}

QString MCUDevice::gateway() const
{
    return QString::fromLatin1(d->identity.gateway.c_str());
}

void MCUDevice::handleReadyRead()
{
    while (d->socket && d->socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = d->socket->receiveDatagram();
        if (datagram.isValid())
            handleCommand(datagram.data(), datagram.senderAddress(),
                          quint16(datagram.senderPort()));
    }
}

void MCUDevice::handleCommand(const QByteArray &message, const QHostAddress &sender,
                              quint16 senderPort)
{
    const kavro::discovery::RequestOutcome outcome = kavro::discovery::handleRequest(
        d->identity, std::string_view(message.constData(), std::size_t(message.size())));
    if (!outcome.recognised)
        return;
    if (outcome.reply)
        d->socket->writeDatagram(QByteArray::fromStdString(*outcome.reply), sender, senderPort);
    if (outcome.changed && onChanged)
        onChanged(mac());
    qCDebug(boardLog) << "Recv:" << message;
}
