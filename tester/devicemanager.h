#pragma once

#include "deviceinfo.h"
#include "discovery/protocol.h"

#include <functional>
#include <mutex>
#include <vector>

#include <QDateTime>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>

class QUdpSocket;

// Finds network cards by broadcasting the discovery request of their UDP configuration service
// and collecting the replies. A pass blocks its thread, so it runs on a search's worker thread;
// the object is used by one thread at a time.
class DeviceManager : public QObject
{
    Q_OBJECT
public:
    static constexpr quint16 DiscoveryPort = kavro::discovery::kDiscoveryPort;
    static constexpr int StaleSeconds = 300;

    // The one manager of the process, made on first use; throws when its socket cannot bind,
    // and the next call tries again.
    static DeviceManager *instance();

    DeviceManager();
    ~DeviceManager() override;

    std::vector<DeviceInfo> discoverDevices(int timeoutMs);
    void removeStaleDevices();

    // Where the request goes: the broadcast address on the discovery port, unless a test
    // points it at responders of its own on this machine.
    using Target = QPair<QHostAddress, quint16>;
    static void setDiscoveryTargetsForTest(const QList<Target> &targets);
    // The clock for ageing; a test may move it.
    static void setClockForTest(std::function<QDateTime()> now);
    // The local port the socket binds (0: any free one), and a way to make instance() anew.
    static void setBindPortForTest(quint16 port);
    static void resetInstanceForTest();

    int rememberedCount() const;

signals:
    void deviceUpdated(DeviceInfo device);
    void errorOccurred(QString error);

private:
    QUdpSocket *socket;
    mutable std::mutex mutex;
    QMap<QString, DeviceInfo> devices;
};
