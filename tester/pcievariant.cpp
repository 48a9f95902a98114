// The PCIe build: cards named by their number, opened with the port text "PCIE".
#include "kavro_iolb.h"
#include "testervariant.h"

namespace {

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

} // namespace

TesterVariant testerVariant()
{
    TesterVariant v;
    v.libraryName = QStringLiteral("KAVRO_PCIE");
    v.catalogueBase = QStringLiteral("KAVROApp_PCIE");
    v.tabIcon = QStringLiteral(":/image/PCIe.png");
    v.portCaption = QT_TRANSLATE_NOOP("MainWindow", "PCIE Port");
    v.fixedPortText = QStringLiteral("PCIE");
    for (int n = 0; n < 16; ++n)
        v.fixedPorts << QString::number(n);
    v.cardSearch = cardSearch;
    v.panel.pcie = true;
    return v;
}
