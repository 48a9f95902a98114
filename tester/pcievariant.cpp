// The PCIe build: cards named by their number, opened with the port text "PCIE".
#include "kavro_iolb.h"
#include "mainwindow.h"
#include "panelvariant.h"
#include "variant.h"

bool kavroPanelIsPcie()
{
    return true;
}

namespace variant {

Build build()
{
    return Build::Pcie;
}

const char *libraryName()
{
    return "KAVRO_PCIE";
}

const char *catalogueBase()
{
    return "KAVROApp_PCIE";
}

SearchResult portListSearch(MainWindow &, const std::atomic<bool> &)
{
    return {}; // the PCIe build fills its numbers at once, without a search
}

SearchResult cardSearch(MainWindow &, const std::atomic<bool> &cancel)
{
    SearchResult result;
    for (int n = 0; n < 16; ++n) {
        if (cancel.load())
            break;
        if (iolb_board_open("PCIE", quint16(n)) == 0) {
            iolb_board_close(quint16(n));
            result.ports << QString::number(n);
            if (!result.okPorts.isEmpty())
                result.okPorts += QLatin1Char(',');
            result.okPorts += QString::number(n);
        }
    }
    return result;
}

} // namespace variant
