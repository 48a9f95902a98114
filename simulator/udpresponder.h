#pragma once

#include "discovery/cardidentity.h"

#include <array>
#include <asio/ip/udp.hpp>
#include <functional>
#include <string>
#include <vector>

namespace kavro::sim {

// The configuration service of every card in a host on one UDP socket: a discovery request
// is answered once for each card, a set command reaches the card whose MAC it names.
class UdpResponder
{
public:
    explicit UdpResponder(asio::io_context &io);
    ~UdpResponder();

    // The identities answered for, in card order; they change when a set command is accepted.
    void setCards(std::vector<discovery::CardIdentity *> cards) { cards_ = std::move(cards); }
    // Empty on success, else what went wrong, in words.
    std::string start(const asio::ip::udp::endpoint &at);
    void stop();
    bool running() const { return socket_.is_open(); }
    unsigned short port() const;

    // Called after the reply with the number of the card whose identity a set command changed.
    std::function<void(std::size_t card)> onChanged;
    // Every recognised request, as received.
    std::function<void(const std::string &request)> onRequest;

private:
    void receive();
    void handle(std::size_t size);

    asio::ip::udp::socket socket_;
    asio::ip::udp::endpoint sender_;
    std::array<char, 65536> buffer_{};
    std::vector<discovery::CardIdentity *> cards_;
};

} // namespace kavro::sim
