// The network build of the board library: cards reached over TCP at "address:port".
#include "boardlib/core/boardlibrary.h"
#include "tcptransport.h"

namespace kavro::boardlib {

BoardLibrary &library()
{
    static BoardLibrary instance(
        [](const std::string &text, unsigned short) -> std::unique_ptr<Transport> {
            const auto endpoint = TcpLink::parse(text);
            return endpoint ? TcpLink::transport(*endpoint) : nullptr;
        });
    return instance;
}

} // namespace kavro::boardlib
