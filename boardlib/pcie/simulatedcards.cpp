#include "simulatedcards.h"

#include "virtualboard/firmware/firmwareengine.h"

#include <array>
#include <chrono>
#include <cstdlib>
#include <sstream>

namespace kavro::boardlib {

using Clock = std::chrono::steady_clock;

// One card: its engine, its outputs looped back to its inputs, and the link to its session.
class SimulatedCard : public firmware::FirmwarePort
{
public:
    SimulatedCard() : engine(*this) {}

    bool GetInBitLevel(std::uint8_t group, std::uint8_t nBit) override
    {
        return group == 0 && nBit < 32 && outputs[nBit];
    }
    void SetOutBitLevel(std::uint8_t group, std::uint8_t nBit, bool bH) override
    {
        if (group == 0 && nBit < 32)
            outputs[nBit] = !bH;
    }
    void SendBuf(link::CardWireFrame frame) override
    {
        if (listener)
            listener->onBytes(frame.data(), frame.size());
    }

    // Any thread; one producer at a time.
    void receive(const std::uint8_t *data, std::size_t size)
    {
        std::lock_guard<std::mutex> lock(producerMutex);
        engine.ReciveData(data, size);
    }

    firmware::FirmwareEngine engine;
    std::array<bool, 32> outputs{};
    Transport::Listener *listener = nullptr; // set while the card is open
    Clock::time_point started;
    std::mutex producerMutex;
};

namespace {

class SimulatedCardTransport : public Transport
{
public:
    SimulatedCardTransport(SimulatedCards &cards, SimulatedCard &card)
        : m_cards(cards), m_card(card)
    {
    }
    ~SimulatedCardTransport() override { close(); }

    bool connect(Listener *listener, std::chrono::milliseconds) override
    {
        m_cards.activate(&m_card, listener);
        m_open = true;
        return true;
    }
    void send(const std::uint8_t *data, std::size_t size) override
    {
        if (m_open)
            m_card.receive(data, size);
    }
    void close() override
    {
        if (m_open.exchange(false))
            m_cards.deactivate(&m_card);
    }

private:
    SimulatedCards &m_cards;
    SimulatedCard &m_card;
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

SimulatedCards &SimulatedCards::instance()
{
    static SimulatedCards cards;
    return cards;
}

SimulatedCards::SimulatedCards() : m_present(presentCards(std::getenv("KAVRO_PCIE_CARDS")))
{
    for (int n : m_present)
        m_cards[n] = std::make_unique<SimulatedCard>();
    m_thread = std::thread([this] { run(); });
}

SimulatedCards::~SimulatedCards()
{
    m_stop = true;
    m_wake.notify_all();
    m_thread.join();
}

std::unique_ptr<Transport> SimulatedCards::transport(unsigned short comno)
{
    const auto it = m_cards.find(comno);
    if (it == m_cards.end())
        return nullptr;
    return std::make_unique<SimulatedCardTransport>(*this, *it->second);
}

void SimulatedCards::activate(SimulatedCard *card, Transport::Listener *listener)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    card->listener = listener;
    card->engine.start(); // the restart report goes to the new session
    card->started = Clock::now();
    ++m_active;
    m_wake.notify_all();
}

void SimulatedCards::deactivate(SimulatedCard *card)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (card->listener) {
        card->listener = nullptr;
        --m_active;
    }
}

void SimulatedCards::run()
{
    while (!m_stop) {
        {
            std::unique_lock<std::recursive_mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || m_active > 0; });
            const auto now = Clock::now();
            for (auto &entry : m_cards) {
                SimulatedCard &card = *entry.second;
                if (!card.listener)
                    continue;
                card.engine.pass(std::uint64_t(
                    std::chrono::duration_cast<std::chrono::nanoseconds>(now - card.started)
                        .count()));
            }
        }
        std::this_thread::yield();
    }
}

} // namespace kavro::boardlib
