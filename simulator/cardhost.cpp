#include "cardhost.h"

#include "discovery/macgeneration.h"
#include "discovery/protocol.h"

#include <set>

namespace kavro::sim {

std::string startGateway(const std::string &address)
{
    const auto dot = address.rfind('.');
    return dot == std::string::npos ? address : address.substr(0, dot + 1) + "1";
}

CardHost::CardHost() : responder_(io_) {}

CardHost::~CardHost()
{
    close();
}

std::string CardHost::open(const HostOptions &o)
{
    close();
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
        const asio::ip::address_v4 at(o.consecutivePorts ? first : first + std::uint32_t(i));
        const auto port = std::uint16_t(o.consecutivePorts && o.port != 0 ? o.port + i : o.port);
        if (const std::string error = card->server.listen({at, port}); !error.empty()) {
            close();
            return "card " + std::to_string(i) + ": " + error;
        }
        // Two cards with one MAC could not be told apart by set commands.
        std::string mac;
        do
            mac = discovery::generateMac();
        while (!macs.insert(mac).second);
        const std::string ip = at.to_string();
        card->identity = discovery::CardIdentity::withDefaults(
            mac, ip, std::string(discovery::kDefaultSubnetMask), startGateway(ip), o.udpPort);
        Card *raw = card.get();
        const std::size_t n = std::size_t(i);
        raw->sim.onFrame = [raw](const link::CardWireFrame &f) { raw->server.broadcast(f); };
        raw->sim.onOutput = [this, n](int bit, bool on) {
            if (onOutput)
                onOutput(n, bit, on);
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
    for (auto &c : cards_)
        c->sim.start();
    return {};
}

void CardHost::close()
{
    responder_.stop();
    responder_.setCards({});
    for (auto &c : cards_) {
        c->server.close();
        c->sim.stop();
    }
    cards_.clear();
}

} // namespace kavro::sim
