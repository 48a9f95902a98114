// The serial-port build: cards on serial ports, named as the system names the port.
#include "comvariant.h"

#include "kavro_iolb.h"
#include "mainwindow.h"
#include "testervariant.h"

#include <QSerialPortInfo>

namespace {

std::function<QVector<SerialPortEntry>()> portsOverride;

QVector<SerialPortEntry> systemPorts()
{
    if (portsOverride)
        return portsOverride();
    QVector<SerialPortEntry> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        ports.append({info.portName(), info.isBusy()});
    return ports;
}

// A busy port is ours when its card is open in this tester under the port's number.
bool openHere(int number)
{
    return iolb_board_getcurframeno(quint16(number), nullptr) == 0;
}

SearchResult portListSearch(MainWindow &window, const std::atomic<bool> &cancel)
{
    SearchResult result;
    for (const SerialPortEntry &port : systemPorts()) {
        if (cancel.load())
            break;
        const int number = window.cardNumberFor(port.name);
        if (!port.busy || openHere(number))
            result.ports << port.name;
    }
    return result;
}

SearchResult cardSearch(MainWindow &window, const std::atomic<bool> &cancel)
{
    SearchResult result;
    for (const SerialPortEntry &port : systemPorts()) {
        if (cancel.load())
            break;
        const int number = window.cardNumberFor(port.name);
        bool found = false;
        if (!port.busy) {
            if (iolb_board_open(port.name.toLocal8Bit().constData(), quint16(number)) == 0) {
                iolb_board_close(quint16(number));
                found = true;
            }
        } else {
            found = openHere(number);
        }
        if (found) {
            result.ports << port.name;
            if (!result.okPorts.isEmpty())
                result.okPorts += QLatin1Char(',');
            result.okPorts += port.name;
        }
    }
    return result;
}

} // namespace

void setSerialPortsForTest(std::function<QVector<SerialPortEntry>()> lister)
{
    portsOverride = std::move(lister);
}

TesterVariant testerVariant()
{
    TesterVariant v;
    v.libraryName = QStringLiteral("KAVRO");
    v.catalogueBase = QStringLiteral("KAVROApp_COM");
    v.tabIcon = QStringLiteral(":/image/Com.png");
    v.portCaption = QT_TRANSLATE_NOOP("MainWindow", "Serial Port");
    v.portListSearch = portListSearch;
    v.portListSearchText = QT_TRANSLATE_NOOP("MainWindow", "Searching for serial ports...");
    v.cardSearch = cardSearch;
    v.notFoundIsError = true;
    return v;
}
