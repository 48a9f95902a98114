// The network build of the board library: cards reached over TCP at "address:port".
#include "boardlib/core/boardlibrary.h"
#include "tcptransport.h"

namespace kavro::boardlib {

BoardLibrary &library()
{
    static BoardLibrary instance([](const std::string &text) -> std::unique_ptr<Transport> {
        const auto endpoint = TcpTransport::parse(text);
        if (!endpoint)
            return nullptr;
        return std::make_unique<TcpTransport>(*endpoint);
    });
    return instance;
}

} // namespace kavro::boardlib
