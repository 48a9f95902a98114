#pragma once

#include <cstdint>
#include <string>

namespace kavro::discovery {

// What a card tells about itself and what the set commands change. All texts are byte
// strings taken as received; the port is the one the card listens on.
struct CardIdentity
{
    std::string mac;
    std::string ip;
    std::string subnetMask;
    std::string gateway;
    std::uint16_t port = 0;

    // A card's start values: an empty MAC becomes a random one, an empty IP or mask the
    // default; the gateway is taken as given, also when empty.
    static CardIdentity withDefaults(std::string mac, std::string ip, std::string subnetMask,
                                     std::string gateway, std::uint16_t port);

    friend bool operator==(const CardIdentity &a, const CardIdentity &b)
    {
        return a.mac == b.mac && a.ip == b.ip && a.subnetMask == b.subnetMask &&
               a.gateway == b.gateway && a.port == b.port;
    }
    friend bool operator!=(const CardIdentity &a, const CardIdentity &b) { return !(a == b); }
};

// The gateway a new virtual card reports: its IPv4 address with the last number made 1
// ("192.168.1.100" gives "192.168.1.1"); any other text stays as it is.
std::string startGateway(const std::string &ip);

} // namespace kavro::discovery
