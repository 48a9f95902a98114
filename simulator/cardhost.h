#pragma once

#include "cardserver.h"
#include "discovery/cardidentity.h"
#include "discovery/protocol.h"
#include "fixture.h"
#include "link/cardidentity.h"
#include "scenario.h"
#include "simcard.h"
#include "udpresponder.h"

#include <asio/io_context.hpp>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
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
        // Faults waiting for their frame count or command code; each fires once.
        std::vector<Fault> waiting;
        // Faults waiting for their time, and the ends of running ones; faultsOff cancels them.
        std::vector<std::shared_ptr<asio::steady_timer>> timers;
        // The end of the running fault of each kind: a fault started again replaces it.
        std::map<Fault::Kind, std::shared_ptr<asio::steady_timer>> ends;
        // The lasting faults that are on, so that "off" ends those and reports no others.
        std::set<Fault::Kind> active;
    };

    CardHost();
    ~CardHost();

    // Builds the cards and starts their listeners, the responder and their firmware. Empty on
    // success; on failure nothing is left listening and the text says what went wrong.
    // A scenario, when given, names the cards (their number, addresses, ports and MACs win over
    // the options) and what drives their inputs and when they fail.
    std::string open(const HostOptions &options, const Scenario *scenario = nullptr);
    void close();

    // Drives an input by itself, replacing what drove it; a fixed level ends any behaviour.
    void driveInput(std::size_t card, const InputBehaviour &behaviour);
    void releaseInput(std::size_t card, int input) { fixture_->clear(int(card), input); }
    // Starts a fault now, or arms it for its time, frame count or command.
    void addFault(std::size_t card, const Fault &fault);
    // Ends every fault of the card and forgets the armed ones.
    void faultsOff(std::size_t card);
    // Milliseconds since the cards started.
    std::uint32_t elapsedMs() const;

    asio::io_context &context() { return io_; }
    std::size_t cardCount() const { return cards_.size(); }
    Card &card(std::size_t i) { return *cards_[i]; }
    const UdpResponder &responder() const { return responder_; }

    std::function<void(std::size_t card, int bit, bool on)> onOutput;
    // A fault began (on) or ended.
    std::function<void(std::size_t card, Fault::Kind kind, bool on)> onFault;
    // A frame a fault touched: "silent", "corrupt" or "duplicate", and the card's frame number.
    std::function<void(std::size_t card, const char *what, std::uint64_t frame)> onFaultHit;

private:
    void start(std::size_t card, const Fault &fault);
    void setFault(std::size_t card, const Fault &fault, bool on);
    void fireWaiting(std::size_t card, std::uint64_t frames, int code);
    std::shared_ptr<asio::steady_timer> timerAt(std::size_t card,
                                                std::chrono::steady_clock::time_point when);
    // A timer's handler acts only while the card still owns the timer: one already due when
    // faultsOff ran is no longer cancelled by it.
    bool owns(std::size_t card, const std::shared_ptr<asio::steady_timer> &timer) const;

    asio::io_context io_;
    std::vector<std::unique_ptr<Card>> cards_;
    UdpResponder responder_;
    std::chrono::steady_clock::time_point origin_;
    std::unique_ptr<Fixture> fixture_;
};

} // namespace kavro::sim
