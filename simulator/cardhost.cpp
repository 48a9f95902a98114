#include "cardhost.h"

#include "discovery/macgeneration.h"
#include "discovery/protocol.h"

#include <algorithm>
#include <asio/post.hpp>
#include <set>

namespace kavro::sim {

CardHost::CardHost() : responder_(io_) {}

CardHost::~CardHost()
{
    close();
}

std::string CardHost::open(const HostOptions &options, const Scenario *scenario)
{
    close();
    HostOptions o = options;
    if (scenario && !scenario->cards.empty())
        o.cards = int(scenario->cards.size());
    const auto overrides = [&](int i) -> const CardScenario * {
        return scenario && std::size_t(i) < scenario->cards.size()
                   ? &scenario->cards[std::size_t(i)]
                   : nullptr;
    };
    if (o.cards < 1 || o.cards > HostOptions::MaxCards)
        return "the number of cards must be 1 to " + std::to_string(HostOptions::MaxCards) +
               ", not " + std::to_string(o.cards);
    std::error_code ec;
    const asio::ip::address base = asio::ip::make_address(o.address, ec);
    if (ec || !base.is_v4())
        return "not an IPv4 address: " + o.address;
    if (o.consecutivePorts && o.port != 0 && int(o.port) + o.cards - 1 > 65535)
        return "ports " + std::to_string(o.port) + " to " +
               std::to_string(int(o.port) + o.cards - 1) + " do not fit below 65536";
    const std::uint32_t first = base.to_v4().to_uint();
    if (!o.consecutivePorts && std::uint64_t(first) + std::uint64_t(o.cards - 1) > 0xFFFFFFFFu)
        return "addresses from " + o.address + " run out before card " +
               std::to_string(o.cards - 1);

    std::set<std::string> macs;
    for (int i = 0; i < o.cards; ++i) {
        auto card = std::make_unique<Card>(io_);
        asio::ip::address_v4 at(o.consecutivePorts ? first : first + std::uint32_t(i));
        auto port = std::uint16_t(o.consecutivePorts && o.port != 0 ? o.port + i : o.port);
        const CardScenario *own = overrides(i);
        if (own && own->address) {
            const auto a = asio::ip::make_address(*own->address, ec);
            if (ec || !a.is_v4()) {
                close();
                return "card " + std::to_string(i) + ": not an IPv4 address: " + *own->address;
            }
            at = a.to_v4();
        }
        if (own && own->port)
            port = *own->port;
        if (const std::string error = card->server.listen({at, port}); !error.empty()) {
            close();
            return "card " + std::to_string(i) + ": " + error;
        }
        // Two cards with one MAC could not be told apart by set commands.
        std::string mac;
        if (own && own->mac) {
            mac = *own->mac;
            macs.insert(mac);
        } else {
            do
                mac = discovery::generateMac();
            while (!macs.insert(mac).second);
        }
        const std::string ip = at.to_string();
        card->identity = discovery::CardIdentity::withDefaults(
            mac, ip, std::string(discovery::kDefaultSubnetMask), discovery::startGateway(ip),
            o.udpPort);
        Card *raw = card.get();
        const std::size_t n = std::size_t(i);
        raw->sim.onFrame = [this, raw, n](const link::CardWireFrame &f) {
            raw->server.broadcast(f);
            if (!raw->waiting.empty())
                fireWaiting(n, raw->server.framesSent(), -1);
        };
        raw->sim.onOutput = [this, n](int bit, bool on) {
            fixture_->outputChanged(int(n), bit, on);
            if (onOutput)
                onOutput(n, bit, on);
        };
        raw->server.onCommand = [this, raw, n](std::uint8_t code) {
            if (!raw->waiting.empty())
                fireWaiting(n, raw->server.framesSent(), code);
        };
        raw->server.onFaultHit = [this, n](const char *what, std::uint64_t frame) {
            if (onFaultHit)
                onFaultHit(n, what, frame);
        };
        cards_.push_back(std::move(card));
    }

    if (o.udp) {
        std::vector<discovery::CardIdentity *> identities;
        for (auto &c : cards_)
            identities.push_back(&c->identity);
        responder_.setCards(identities);
        const auto udpAt = asio::ip::make_address(o.udpAddress, ec);
        if (ec) {
            close();
            return "not an address: " + o.udpAddress;
        }
        if (const std::string error = responder_.start({udpAt, o.udpPort}); !error.empty()) {
            close();
            return error;
        }
        // A card answers with the port it listens on.
        for (auto &c : cards_)
            c->identity.port = responder_.port();
    }
    origin_ = std::chrono::steady_clock::now();
    fixture_ = std::make_unique<Fixture>(
        io_,
        [this](int c) {
            return c >= 0 && std::size_t(c) < cards_.size() ? &cards_[std::size_t(c)]->sim
                                                            : nullptr;
        },
        origin_);
    for (auto &c : cards_)
        c->sim.start();
    if (scenario) {
        for (std::size_t i = 0; i < scenario->cards.size() && i < cards_.size(); ++i) {
            for (const InputBehaviour &b : scenario->cards[i].inputs)
                driveInput(i, b);
            for (const Fault &f : scenario->cards[i].faults)
                addFault(i, f);
        }
    }
    return {};
}

std::uint32_t CardHost::elapsedMs() const
{
    return std::uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - origin_)
                             .count());
}

void CardHost::driveInput(std::size_t card, const InputBehaviour &behaviour)
{
    if (card < cards_.size())
        fixture_->set(int(card), behaviour);
}

std::shared_ptr<asio::steady_timer> CardHost::timerAt(std::size_t card,
                                                      std::chrono::steady_clock::time_point when)
{
    auto &timers = cards_[card]->timers;
    auto timer = std::make_shared<asio::steady_timer>(io_, when);
    timers.push_back(timer);
    // Spent timers go when the list is next looked at.
    timers.erase(std::remove_if(timers.begin(), timers.end(),
                                [](const auto &t) {
                                    return t.use_count() == 1 &&
                                           t->expiry() < std::chrono::steady_clock::now();
                                }),
                 timers.end());
    return timer;
}

bool CardHost::owns(std::size_t card, const std::shared_ptr<asio::steady_timer> &timer) const
{
    if (card >= cards_.size())
        return false;
    const auto &timers = cards_[card]->timers;
    return std::find(timers.begin(), timers.end(), timer) != timers.end();
}

void CardHost::addFault(std::size_t card, const Fault &fault)
{
    if (card >= cards_.size())
        return;
    if (fault.afterFrames || fault.onCommand) {
        cards_[card]->waiting.push_back(fault);
        return;
    }
    if (!fault.atMs || *fault.atMs <= elapsedMs()) {
        start(card, fault);
        return;
    }
    auto timer = timerAt(card, origin_ + std::chrono::milliseconds(*fault.atMs));
    timer->async_wait([this, card, fault, timer](const std::error_code &ec) {
        if (!ec && owns(card, timer))
            start(card, fault);
    });
}

void CardHost::fireWaiting(std::size_t card, std::uint64_t frames, int code)
{
    auto &waiting = cards_[card]->waiting;
    for (auto it = waiting.begin(); it != waiting.end();) {
        const bool due = (it->afterFrames && frames >= *it->afterFrames) ||
                         (it->onCommand && code >= 0 && *it->onCommand == code);
        if (!due) {
            ++it;
            continue;
        }
        // Not from inside the card's pass or the server's read: a restart or a drop there
        // would pull the ground from under it.
        const Fault f = *it;
        it = waiting.erase(it);
        asio::post(io_, [this, card, f] {
            if (card < cards_.size())
                start(card, f);
        });
    }
}

void CardHost::start(std::size_t card, const Fault &fault)
{
    setFault(card, fault, true);
    const bool once = fault.kind == Fault::Kind::Drop || fault.kind == Fault::Kind::Restart;
    if (once)
        return;
    // The latest word on a fault holds: an earlier one's end no longer applies.
    auto &end = cards_[card]->ends[fault.kind];
    if (end) {
        end->cancel();
        end.reset();
    }
    if (fault.forMs == 0)
        return;
    auto timer =
        timerAt(card, std::chrono::steady_clock::now() + std::chrono::milliseconds(fault.forMs));
    end = timer;
    timer->async_wait([this, card, fault, timer](const std::error_code &ec) {
        if (ec || !owns(card, timer))
            return;
        // One that fired just as a newer fault of its kind began has nothing left to end.
        auto &current = cards_[card]->ends[fault.kind];
        if (current != timer)
            return;
        current.reset();
        setFault(card, fault, false);
    });
}

void CardHost::setFault(std::size_t card, const Fault &fault, bool on)
{
    Card &c = *cards_[card];
    switch (fault.kind) {
    case Fault::Kind::Drop:
        c.server.dropClients();
        break;
    case Fault::Kind::Refuse:
        c.server.setRefusing(on);
        break;
    case Fault::Kind::Silent:
        c.server.setSilent(on);
        break;
    case Fault::Kind::Delay:
        c.server.setDelay(std::chrono::milliseconds(on ? fault.delayMs : 0));
        break;
    case Fault::Kind::Corrupt:
        c.server.setCorruptEvery(on ? fault.every : 0);
        break;
    case Fault::Kind::Bytewise:
        c.server.setBytewise(on);
        break;
    case Fault::Kind::Duplicate:
        c.server.setDuplicateEvery(on ? fault.every : 0);
        break;
    case Fault::Kind::Stall:
        c.server.setStalled(on);
        break;
    case Fault::Kind::Restart:
        c.sim.start();
        break;
    }
    if (fault.kind != Fault::Kind::Drop && fault.kind != Fault::Kind::Restart) {
        if (on)
            c.active.insert(fault.kind);
        else
            c.active.erase(fault.kind);
    }
    if (onFault)
        onFault(card, fault.kind, on);
}

void CardHost::faultsOff(std::size_t card)
{
    if (card >= cards_.size())
        return;
    Card &c = *cards_[card];
    c.waiting.clear();
    for (auto &t : c.timers)
        t->cancel();
    c.timers.clear();
    c.ends.clear();
    const std::set<Fault::Kind> on = c.active;
    for (Fault::Kind kind : on) {
        Fault f;
        f.kind = kind;
        setFault(card, f, false);
    }
}

void CardHost::close()
{
    for (auto &c : cards_) {
        for (auto &t : c->timers)
            t->cancel();
        c->timers.clear();
    }
    if (fixture_)
        fixture_->clearAll();
    responder_.stop();
    responder_.setCards({});
    for (auto &c : cards_) {
        c->server.close();
        c->sim.stop();
    }
    cards_.clear();
}

} // namespace kavro::sim
