#include "tcptransport.h"

namespace kavro::boardlib {

std::optional<TcpLink::Endpoint> TcpLink::parse(const std::string &text)
{
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= text.size())
        return std::nullopt;
    std::string host = text.substr(0, colon);
    const std::string portText = text.substr(colon + 1);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (portText.size() > 5)
        return std::nullopt;
    unsigned long port = 0;
    for (char ch : portText) {
        if (ch < '0' || ch > '9')
            return std::nullopt;
        port = port * 10 + unsigned(ch - '0');
    }
    if (port == 0 || port > 65535)
        return std::nullopt;
    asio::error_code ec;
    asio::ip::make_address(host, ec);
    if (ec)
        return std::nullopt;
    return Endpoint{host, static_cast<unsigned short>(port)};
}

std::unique_ptr<Transport> TcpLink::transport(const Endpoint &endpoint)
{
    return std::make_unique<StreamTransport<TcpLink>>(
        std::make_shared<TcpLink>(IoThread::instance().context(), endpoint));
}

TcpLink::TcpLink(asio::io_context &io, const Endpoint &endpoint)
    : StreamState<TcpLink>(io), stream(io),
      m_endpoint(asio::ip::make_address(endpoint.address), endpoint.port)
{
}

void TcpLink::startOpen()
{
    auto keep = shared_from_this();
    stream.async_connect(m_endpoint, [keep](const asio::error_code &ec) {
        if (!ec) {
            asio::error_code ignored;
            keep->stream.set_option(asio::ip::tcp::no_delay(true), ignored);
        }
        keep->opened(ec);
    });
}

void TcpLink::closeStream()
{
    asio::error_code ignored;
    stream.close(ignored);
}

} // namespace kavro::boardlib
