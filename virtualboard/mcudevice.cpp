#include "mcudevice.h"

#include "boardlog.h"

#include <mutex>
#include <random>

#include <QDateTime>
#include <QNetworkDatagram>
#include <QUdpSocket>

struct MCUDevice::Private
{
    QByteArray mac;
    QByteArray ip;
    QByteArray subnetMask;
    QByteArray gateway;
    quint16 port = 0;
    bool running = false;
    QUdpSocket *socket = nullptr;
};

namespace {

QString hexByte(unsigned v)
{
    return QStringLiteral("%1").arg(v & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
}

QString randomMac()
{
    std::random_device source;
    std::mt19937 engine(source());
    std::uniform_int_distribution<int> byte(0, 255);
    QStringList parts;
    for (int i = 0; i < 6; ++i)
        parts << hexByte(unsigned(byte(engine)));
    return parts.join(QLatin1Char(':'));
}

bool isWellFormedMac(const QByteArray &v)
{
    if (v.size() != 17)
        return false;
    for (int i = 0; i < v.size(); ++i) {
        const char c = v[i];
        if (i % 3 == 2) {
            if (c != ':')
                return false;
        } else if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

bool isIPv4(const QByteArray &v)
{
    QHostAddress address;
    return address.setAddress(QString::fromLatin1(v)) &&
           address.protocol() == QAbstractSocket::IPv4Protocol;
}

// Fields are taken byte for byte; a missing field reads as empty.
QByteArray field(const QList<QByteArray> &fields, int n)
{
    return n < fields.size() ? fields[n] : QByteArray();
}

} // namespace

QString generateMac()
{
    static std::mt19937 engine = [] {
        std::random_device source;
        return std::mt19937(source());
    }();
    std::uniform_int_distribution<int> byte(0, 255);
    const unsigned r1 = unsigned(byte(engine));
    const unsigned r2 = unsigned(byte(engine));
    const qint64 ms = QDateTime::currentMSecsSinceEpoch();
    const unsigned t1 = unsigned(ms >> 8) & 0xFF;
    const unsigned t0 = unsigned(ms) & 0xFF;
    return QStringLiteral("02:DE:%1:%2:%3:%4")
        .arg(hexByte(r1), hexByte(t1), hexByte(r2), hexByte(t0));
}

MCUDevice::MCUDevice(const QString &mac, const QString &ip, const QString &subnetMask,
                     const QString &gateway, quint16 port, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    d->mac = (mac.isEmpty() ? randomMac() : mac).toLatin1();
    d->ip = (ip.isEmpty() ? QStringLiteral("192.168.1.100") : ip).toLatin1();
    d->subnetMask =
        (subnetMask.isEmpty() ? QStringLiteral("255.255.255.0") : subnetMask).toLatin1();
    d->gateway = gateway.toLatin1();
    d->port = port;
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
    d->ip = ip.toLatin1();
    if (d->socket->bind(QHostAddress::Any, d->port)) {
        connect(d->socket, &QUdpSocket::readyRead, this, &MCUDevice::handleReadyRead,
                Qt::UniqueConnection);
        d->running = true;
        qCDebug(boardLog) << "MCU device started. MAC:" << d->mac << "IP:" << d->ip
                          << "Port:" << d->port;
        return true;
    }
    qCDebug(boardLog) << "Error starting MCU device:"
                      << QStringLiteral("Failed to bind socket to port %1").arg(d->port);
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

QString MCUDevice::mac() const
{
    return QString::fromLatin1(d->mac);
}

QString MCUDevice::ip() const
{
    return QString::fromLatin1(d->ip);
}

QString MCUDevice::subnetMask() const
{
    return QString::fromLatin1(d->subnetMask);
}

QString MCUDevice::gateway() const
{
    return QString::fromLatin1(d->gateway);
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
    const QList<QByteArray> fields = message.split(';');
    const QByteArray command = fields.value(0);

    enum Kind { Info, SetIp, SetMac, SetMask, SetGateway };
    Kind kind;
    if (command == "CMD:GET_INFO")
        kind = Info;
    else if (command == "CMD:SET_IP")
        kind = SetIp;
    else if (command == "CMD:SET_MAC")
        kind = SetMac;
    else if (command == "CMD:SET_SUBNETMASK")
        kind = SetMask;
    else if (command == "CMD:SET_GATEWAY")
        kind = SetGateway;
    else
        return;

    auto reply = [&](const QByteArray &text) {
        d->socket->writeDatagram(text, sender, senderPort);
    };

    if (kind == Info) {
        reply("RESP:INFO;" + d->mac + ';' + d->ip + ';' + d->subnetMask + ';' + d->gateway + ';' +
              QByteArray::number(d->port));
    } else {
        const QByteArray m = field(fields, 1);
        const QByteArray v = field(fields, 2);
        if (m == d->mac) {
            bool accepted = true;
            QByteArray name;
            switch (kind) {
            case SetIp:
                name = "SET_IP";
                d->ip = v;
                break;
            case SetMac:
                name = "SET_MAC";
                accepted = isWellFormedMac(v);
                if (accepted)
                    d->mac = v;
                break;
            case SetMask:
                name = "SET_SUBNETMASK";
                accepted = isIPv4(v);
                if (accepted)
                    d->subnetMask = v;
                break;
            default:
                name = "SET_GATEWAY";
                accepted = isIPv4(v);
                if (accepted)
                    d->gateway = v;
                break;
            }
            reply("RESP:" + name + ';' + m + ';' + v + (accepted ? ";SUCCESS" : ";INVALID_FORMAT"));
            if (accepted && onChanged)
                onChanged(QString::fromLatin1(d->mac));
        }
    }
    qCDebug(boardLog) << "Recv:" << message;
}
