#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>

// One network card that answered a discovery.
struct DeviceInfo
{
    QString mac;
    QString ip;
    QString subnetMask;
    QString gateway;
    quint16 port = 0;
    bool online = false;
    QDateTime lastSeen;
};

Q_DECLARE_METATYPE(DeviceInfo)
