#include "localaddresses.h"

#include <QHostAddress>
#include <QNetworkInterface>

QStringList localIPv4Addresses()
{
    QStringList list;
    for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol &&
            address != QHostAddress(QHostAddress::LocalHost))
            list << address.toString();
    }
    list << QStringLiteral("127.0.0.1");
    return list;
}
