#pragma once

#include <functional>

#include <QString>
#include <QVector>

// The serial-port build's view of the system's ports, which a test may replace.
struct SerialPortEntry
{
    QString name;
    bool busy = false;
};

void setSerialPortsForTest(std::function<QVector<SerialPortEntry>()> lister);
