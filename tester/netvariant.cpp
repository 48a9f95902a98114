// The network build: cards on the local network, reached at "address:port".
#include "devicemanager.h"
#include "mainwindow.h"
#include "panelvariant.h"
#include "variant.h"

#include <stdexcept>

bool kavroPanelIsPcie()
{
    return false;
}

namespace variant {

Build build()
{
    return Build::Net;
}

const char *libraryName()
{
    return "KAVRO_Net";
}

const char *catalogueBase()
{
    return "KAVROApp_Net";
}

SearchResult portListSearch(MainWindow &, const std::atomic<bool> &)
{
    return {localIPv4Addresses(), QString()};
}

SearchResult cardSearch(MainWindow &, const std::atomic<bool> &cancel)
{
    SearchResult result;
    std::vector<DeviceInfo> cards;
    try {
        cards = DeviceManager::instance()->discoverDevices(1000);
    } catch (const std::runtime_error &) {
        // No discovery socket: the search ends as one that found nothing.
        return result;
    }
    for (const DeviceInfo &card : cards) {
        if (cancel.load())
            break;
        if (!card.online)
            continue;
        if (!result.okPorts.isEmpty())
            result.okPorts += QLatin1Char(',');
        result.okPorts += QLatin1Char('[') + card.mac + QLatin1Char(']') + card.ip;
        result.ports << card.ip;
    }
    return result;
}

} // namespace variant
