// The network build: cards on the local network, reached at "address:port".
#include "devicemanager.h"
#include "mainwindow.h"
#include "qtcommon/localaddresses.h"
#include "shellsettings.h"
#include "testervariant.h"

#include <stdexcept>

namespace {

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

} // namespace

TesterVariant testerVariant()
{
    TesterVariant v;
    v.libraryName = QStringLiteral("KAVRO_Net");
    v.catalogueBase = QStringLiteral("KAVROApp_Net");
    v.tabIcon = QStringLiteral(":/image/Com.png");
    v.portField = true;
    v.lastConnectionGroup = shellsettings::LastConnectionGroup;
    v.portListSearch = portListSearch;
    v.portListSearchText = QT_TRANSLATE_NOOP("MainWindow", "Searching for IP...");
    v.cardSearch = cardSearch;
    return v;
}
