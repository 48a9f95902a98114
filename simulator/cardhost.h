#pragma once

#include "cardserver.h"
#include "discovery/cardidentity.h"
#include "discovery/protocol.h"
#include "link/cardidentity.h"
#include "simcard.h"
#include "udpresponder.h"

#include <asio/io_context.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kavro::sim {

struct HostOptions
{
    int cards = 1;
    // Card i listens on address + i (127.0.0.1, 127.0.0.2, ...) at port, so every card keeps
    // the testers' default port; with consecutivePorts, all on address at port + i.
    std::string address = "127.0.0.1";
    std::uint16_t port = link::kDefaultLinkPort; // 0: each card picks a free port
    bool consecutivePorts = false;
    bool udp = true;
    std::uint16_t udpPort = discovery::kDiscoveryPort;
    std::string udpAddress = "0.0.0.0";
    static constexpr int MaxCards = 1024;
};

// Many simulated cards in one process, each one object with its own TCP listener and
// identity, and one UDP responder for all of them. Everything runs on one Asio context,
// whose run() the owner calls on the thread of its choice.
class CardHost
{
public:
    struct Card
    {
        Card(asio::io_context &io) : sim(io), server(io, sim) {}
        SimCard sim;
        CardServer server;
        discovery::CardIdentity identity;
    };

    CardHost();
    ~CardHost();

    // Builds the cards and starts their listeners, the responder and their firmware. Empty on
    // success; on failure nothing is left listening and the text says what went wrong.
    std::string open(const HostOptions &options);
    void close();

    asio::io_context &context() { return io_; }
    std::size_t cardCount() const { return cards_.size(); }
    Card &card(std::size_t i) { return *cards_[i]; }
    const UdpResponder &responder() const { return responder_; }

    std::function<void(std::size_t card, int bit, bool on)> onOutput;

private:
    asio::io_context io_;
    std::vector<std::unique_ptr<Card>> cards_;
    UdpResponder responder_;
};

// The gateway a new card reports: its address with the last number made 1.
std::string startGateway(const std::string &address);

} // namespace kavro::sim
