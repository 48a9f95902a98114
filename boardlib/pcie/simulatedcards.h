#pragma once

#include "boardlib/core/transport.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace kavro::boardlib {

class SimulatedCard;

// The PCIe stand-in's cards: one simulated card per present card number, each a firmware
// engine whose outputs drive its own inputs (output n to input n). One thread of the library
// runs the engines of all open cards; a card keeps its state while it is closed.
class SimulatedCards
{
public:
    static SimulatedCards &instance();
    ~SimulatedCards();

    // The card numbers present: KAVRO_PCIE_CARDS, for example "0,2"; "0" when unset.
    static std::set<int> presentCards(const char *setting);

    // A transport to card comno, or null when no such card is present.
    std::unique_ptr<Transport> transport(unsigned short comno);

    // Used by the transports.
    void activate(SimulatedCard *card, Transport::Listener *listener);
    void deactivate(SimulatedCard *card);

private:
    SimulatedCards();
    void run();

    std::set<int> m_present;
    std::map<int, std::unique_ptr<SimulatedCard>> m_cards;
    // Held while engines run and while cards come and go; recursive, since a card's frame may
    // lead (through the library's callback) to closing that very card.
    std::recursive_mutex m_mutex;
    std::condition_variable_any m_wake;
    std::atomic<bool> m_stop{false};
    int m_active = 0;
    std::thread m_thread;
};

} // namespace kavro::boardlib
