#pragma once

#include "boardlib/core/streamtransport.h"

#include <asio/ip/tcp.hpp>
#include <memory>
#include <optional>
#include <string>

namespace kavro::boardlib {

// The board link over TCP, with TCP_NODELAY.
class TcpLink : public StreamState<TcpLink>
{
public:
    struct Endpoint
    {
        std::string address;
        unsigned short port = 0;
    };
    // "address:port" with a numeric IPv4 or IPv6 address and a port of 1 to 65535.
    static std::optional<Endpoint> parse(const std::string &text);
    static std::unique_ptr<Transport> transport(const Endpoint &endpoint);

    TcpLink(asio::io_context &io, const Endpoint &endpoint);

    void startOpen();
    void closeStream();

    asio::ip::tcp::socket stream;

private:
    asio::ip::tcp::endpoint m_endpoint;
};

} // namespace kavro::boardlib
