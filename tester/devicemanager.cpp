#include "devicemanager.h"

#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>

#include <QDebug>
#include <QElapsedTimer>
#include <QNetworkDatagram>
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

    const QByteArray request = QStringLiteral("CMD:GET_INFO;").toUtf8();
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
                const QStringList parts =
                    QString::fromUtf8(datagram.data()).split(QLatin1Char(';'));
                if (parts.size() < 5 || parts[0] != QLatin1String("RESP:INFO"))
                    continue;
                DeviceInfo info;
                info.mac = parts[1];
                info.ip = parts[2];
                info.subnetMask = parts[3];
                info.gateway = parts[4];
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
