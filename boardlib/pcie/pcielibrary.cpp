// The PCIe build of the board library, a stand-in: the cards are simulated inside the process
// and reached through the same link client as the other builds. Port text "PCIE".
#include "boardlib/core/boardlibrary.h"
#include "simulatedcards.h"

namespace kavro::boardlib {

BoardLibrary &library()
{
    // The cards first, so that they outlive the library's sessions at exit. They are the
    // library's, as its sessions are: the C interface is process-wide.
    static SimulatedCards cards;
    static BoardLibrary instance(
        [](const std::string &text, unsigned short comno) -> std::unique_ptr<Transport> {
            return text == "PCIE" ? cards.transport(comno) : nullptr;
        });
    return instance;
}

} // namespace kavro::boardlib
