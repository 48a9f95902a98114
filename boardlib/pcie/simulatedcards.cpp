#include "simulatedcards.h"

#include "simulator/simcard.h"

#include <asio/post.hpp>
#include <atomic>
#include <cstdlib>
#include <future>
#include <sstream>
#include <vector>

namespace kavro::boardlib {

namespace {

// A session's link to one card. Every listener call runs on the cards' thread; opening and
// closing are done there too, so once close() returns no call runs or starts.
class SimulatedCardTransport : public Transport
{
public:
    SimulatedCardTransport(SimulatedCards &cards, sim::SimCard &card) : m_cards(cards), m_card(card)
    {
    }
    ~SimulatedCardTransport() override { close(); }

    bool connect(Listener *listener, std::chrono::milliseconds) override
    {
        m_cards.runOnCardThread([this, listener] {
            m_card.onFrame = [listener](const link::CardWireFrame &f) {
                listener->onBytes(f.data(), f.size());
            };
            // The restart report goes to the new session.
            m_card.start();
        });
        m_open = true;
        return true;
    }
    void send(const std::uint8_t *data, std::size_t size) override
    {
        if (!m_open)
            return;
        asio::post(m_cards.context(),
                   [card = &m_card, bytes = std::vector<std::uint8_t>(data, data + size)] {
                       card->receive(bytes.data(), bytes.size());
                   });
    }
    void close() override
    {
        if (!m_open.exchange(false))
            return;
        m_cards.runOnCardThread([this] {
            m_card.onFrame = nullptr;
            m_card.stop();
        });
    }

private:
    SimulatedCards &m_cards;
    sim::SimCard &m_card;
    std::atomic<bool> m_open{false};
};

} // namespace

std::set<int> SimulatedCards::presentCards(const char *setting)
{
    std::set<int> cards;
    std::stringstream list(setting && *setting ? setting : "0");
    std::string item;
    while (std::getline(list, item, ',')) {
        char *end = nullptr;
        const long n = std::strtol(item.c_str(), &end, 10);
        if (end != item.c_str() && *end == '\0' && n >= 0 && n <= 15)
            cards.insert(int(n));
    }
    return cards;
}

SimulatedCards::SimulatedCards()
    : m_present(presentCards(std::getenv("KAVRO_PCIE_CARDS"))),
      m_guard(asio::make_work_guard(m_context))
{
    for (int n : m_present) {
        auto card = std::make_unique<sim::SimCard>(m_context);
        card->setLoopback(true);
        m_cards[n] = std::move(card);
    }
    m_thread = std::thread([this] { m_context.run(); });
}

SimulatedCards::~SimulatedCards()
{
    m_guard.reset();
    m_context.stop();
    m_thread.join();
}

void SimulatedCards::runOnCardThread(const std::function<void()> &fn)
{
    if (std::this_thread::get_id() == m_thread.get_id() || m_context.stopped()) {
        fn();
        return;
    }
    std::promise<void> done;
    asio::post(m_context, [&] {
        fn();
        done.set_value();
    });
    done.get_future().wait();
}

std::unique_ptr<Transport> SimulatedCards::transport(unsigned short comno)
{
    const auto it = m_cards.find(comno);
    if (it == m_cards.end())
        return nullptr;
    return std::make_unique<SimulatedCardTransport>(*this, *it->second);
}

} // namespace kavro::boardlib
