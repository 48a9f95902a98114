#pragma once

#include "boardlib/core/transport.h"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <thread>

namespace kavro::sim {
class SimCard;
}

namespace kavro::boardlib {

// The PCIe stand-in's cards: one simulated card per present card number, each the same
// event-driven card as the board host's, with its outputs wired to its own inputs (output n
// to input n). One thread of the library runs all of them and costs nothing while they are
// idle; a card keeps its state while it is closed.
class SimulatedCards
{
public:
    SimulatedCards();
    ~SimulatedCards();
    SimulatedCards(const SimulatedCards &) = delete;
    SimulatedCards &operator=(const SimulatedCards &) = delete;

    // The card numbers present: KAVRO_PCIE_CARDS, for example "0,2"; "0" when unset.
    static std::set<int> presentCards(const char *setting);

    // A transport to card comno, or null when no such card is present.
    std::unique_ptr<Transport> transport(unsigned short comno);

    // Runs fn on the cards' thread and waits for it; at once when already there.
    void runOnCardThread(const std::function<void()> &fn);
    asio::io_context &context() { return m_context; }

private:
    std::set<int> m_present;
    asio::io_context m_context;
    asio::executor_work_guard<asio::io_context::executor_type> m_guard;
    std::map<int, std::unique_ptr<sim::SimCard>> m_cards;
    std::thread m_thread;
};

} // namespace kavro::boardlib
