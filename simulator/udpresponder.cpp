#include "udpresponder.h"

#include "discovery/cardrequests.h"

namespace kavro::sim {

UdpResponder::UdpResponder(asio::io_context &io) : socket_(io) {}

UdpResponder::~UdpResponder()
{
    stop();
}

std::string UdpResponder::start(const asio::ip::udp::endpoint &at)
{
    stop();
    std::error_code ec;
    socket_.open(at.protocol(), ec);
    if (!ec)
        socket_.bind(at, ec);
    // A reply that cannot leave at once is dropped, as UDP may drop it anyway, rather than
    // stall every card of the host.
    if (!ec)
        socket_.non_blocking(true, ec);
    if (ec) {
        std::error_code ignored;
        socket_.close(ignored);
        return "Failed to bind socket to port " + std::to_string(at.port()) + ": " + ec.message();
    }
    receive();
    return {};
}

void UdpResponder::stop()
{
    std::error_code ignored;
    socket_.close(ignored);
}

unsigned short UdpResponder::port() const
{
    std::error_code ec;
    const auto at = socket_.local_endpoint(ec);
    return ec ? 0 : at.port();
}

void UdpResponder::receive()
{
    socket_.async_receive_from(asio::buffer(buffer_), sender_,
                               [this](const std::error_code &ec, std::size_t n) {
                                   if (ec == asio::error::operation_aborted || !socket_.is_open())
                                       return;
                                   // A datagram that failed to arrive is skipped.
                                   if (!ec)
                                       handle(n);
                                   receive();
                               });
}

void UdpResponder::handle(std::size_t size)
{
    const std::string_view request(buffer_.data(), size);
    bool recognised = false;
    for (std::size_t i = 0; i < cards_.size(); ++i) {
        const discovery::RequestOutcome outcome = discovery::handleRequest(*cards_[i], request);
        recognised = recognised || outcome.recognised;
        if (outcome.reply) {
            std::error_code ignored;
            socket_.send_to(asio::buffer(*outcome.reply), sender_, 0, ignored);
        }
        if (outcome.changed && onChanged)
            onChanged(i);
    }
    if (recognised && onRequest)
        onRequest(std::string(request));
}

} // namespace kavro::sim
