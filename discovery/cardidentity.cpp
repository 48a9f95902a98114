#include "discovery/cardidentity.h"

#include "discovery/macgeneration.h"
#include "discovery/protocol.h"

#include <utility>

namespace kavro::discovery {

CardIdentity CardIdentity::withDefaults(std::string mac, std::string ip, std::string subnetMask,
                                        std::string gateway, std::uint16_t port)
{
    CardIdentity identity;
    identity.mac = mac.empty() ? randomMac() : std::move(mac);
    identity.ip = ip.empty() ? std::string(kDefaultIp) : std::move(ip);
    identity.subnetMask =
        subnetMask.empty() ? std::string(kDefaultSubnetMask) : std::move(subnetMask);
    identity.gateway = std::move(gateway);
    identity.port = port;
    return identity;
}

std::string startGateway(const std::string &ip)
{
    int dots = 0;
    for (const char c : ip)
        dots += c == '.';
    if (dots != 3)
        return ip;
    return ip.substr(0, ip.rfind('.') + 1) + "1";
}

} // namespace kavro::discovery
