// The serial-port build of the board library: cards reached over a serial line by port name.
#include "boardlib/core/boardlibrary.h"
#include "serialtransport.h"

namespace kavro::boardlib {

BoardLibrary &library()
{
    static BoardLibrary instance(
        [](const std::string &text, unsigned short) { return SerialLink::transport(text); });
    return instance;
}

} // namespace kavro::boardlib
