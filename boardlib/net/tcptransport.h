#pragma once

#include "boardlib/core/transport.h"

#include <memory>
#include <optional>
#include <string>

namespace kavro::boardlib {

// The board link over TCP on the library's I/O thread, with TCP_NODELAY; after a drop it
// reconnects every second until closed.
class TcpTransport : public Transport
{
public:
    struct Endpoint
    {
        std::string address;
        unsigned short port = 0;
    };
    // "address:port" with a numeric IPv4 or IPv6 address and a port of 1 to 65535.
    static std::optional<Endpoint> parse(const std::string &text);

    explicit TcpTransport(Endpoint endpoint);
    ~TcpTransport() override;

    bool connect(Listener *listener, std::chrono::milliseconds timeout) override;
    void send(const std::uint8_t *data, std::size_t size) override;
    void close() override;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

} // namespace kavro::boardlib
