#include "devicemanager.h"

#include "discovery/inforeply.h"
#include "discovery/protocol.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include <QDebug>
#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QTextCodec>
#include <QUdpSocket>

namespace {

QList<DeviceManager::Target> targetsOverride;
std::function<QDateTime()> clockOverride;
quint16 bindPort = 0;
std::mutex instanceMutex;
std::unique_ptr<DeviceManager> theInstance;

QDateTime now()
{
    return clockOverride ? clockOverride() : QDateTime::currentDateTime();
}

// A field of a text decoded once already (MIB 106 is UTF-8): a byte-order mark at its start is
// part of it.
QString fieldText(const std::string &field)
{
    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    return QTextCodec::codecForMib(106)->toUnicode(field.data(), int(field.size()), &state);
}

} // namespace

DeviceManager *DeviceManager::instance()
{
    std::lock_guard<std::mutex> lock(instanceMutex);
    if (!theInstance)
        theInstance = std::make_unique<DeviceManager>(); // may throw; the next call tries again
    return theInstance.get();
}

void DeviceManager::resetInstanceForTest()
{
    std::lock_guard<std::mutex> lock(instanceMutex);
    theInstance.reset();
}

void DeviceManager::setBindPortForTest(quint16 port)
{
    bindPort = port;
}

void DeviceManager::setDiscoveryTargetsForTest(const QList<Target> &targets)
{
    targetsOverride = targets;
}

void DeviceManager::setClockForTest(std::function<QDateTime()> clock)
{
    clockOverride = std::move(clock);
}

DeviceManager::DeviceManager() : socket(new QUdpSocket(this))
{
    if (!socket->bind(QHostAddress::Any, bindPort,
                      QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        qDebug() << "Failed to bind socket:" << socket->errorString();
        throw std::runtime_error("Failed to bind socket");
    }
}

DeviceManager::~DeviceManager()
{
    socket->close();
    delete socket;
    socket = nullptr;
}

int DeviceManager::rememberedCount() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return devices.size();
}

std::vector<DeviceInfo> DeviceManager::discoverDevices(int timeoutMs)
{
    std::vector<DeviceInfo> result;
    std::map<QString, DeviceInfo> collected;

    const QByteArray request(kavro::discovery::kDiscoveryRequest.data(),
                             int(kavro::discovery::kDiscoveryRequest.size()));
    const QList<Target> targets =
        targetsOverride.isEmpty()
            ? QList<Target>{{QHostAddress(QHostAddress::Broadcast), DiscoveryPort}}
            : targetsOverride;
    for (const Target &t : targets)
        socket->writeDatagram(request, t.first, t.second);

    QElapsedTimer clock;
    clock.start();
    do {
        if (socket->waitForReadyRead(100)) {
            while (socket->hasPendingDatagrams()) {
                const QNetworkDatagram datagram = socket->receiveDatagram();
                // Read as UTF-8 text the way the client always has (up to a NUL, without a
                // byte-order mark, bad bytes replaced), then parsed as text.
                const QByteArray text = QString::fromUtf8(datagram.data()).toUtf8();
                const std::optional<kavro::discovery::InfoReply> reply =
                    kavro::discovery::parseInfoReply(
                        std::string_view(text.constData(), std::size_t(text.size())));
                if (!reply)
                    continue;
                DeviceInfo info;
                info.mac = fieldText(reply->mac);
                info.ip = fieldText(reply->ip);
                info.subnetMask = fieldText(reply->subnetMask);
                info.gateway = fieldText(reply->gateway);
                info.port = DiscoveryPort;
                info.online = true;
                info.lastSeen = now();
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    devices.insert(info.mac, info);
                    emit deviceUpdated(info);
                }
                collected[info.mac] = info;
            }
        }
    } while (clock.elapsed() < timeoutMs);

    result.reserve(collected.size());
    for (const auto &entry : collected)
        result.push_back(entry.second);
    removeStaleDevices();
    return result;
}

void DeviceManager::removeStaleDevices()
{
    std::lock_guard<std::mutex> lock(mutex);
    const QDateTime current = now();
    for (auto it = devices.begin(); it != devices.end();) {
        if (it->lastSeen.secsTo(current) > StaleSeconds)
            it = devices.erase(it);
        else
            ++it;
    }
}
