#pragma once

#include "discovery/cardidentity.h"

#include <optional>
#include <string>
#include <string_view>

namespace kavro::discovery {

// What a client takes from a discovery reply. The port field, when there is one, is not read:
// the client already knows the port it asked on.
struct InfoReply
{
    std::string mac;
    std::string ip;
    std::string subnetMask;
    std::string gateway;
};

// "RESP:INFO;" MAC ";" IP ";" mask ";" gateway ";" port, without a trailing ';'.
std::string formatInfoReply(const CardIdentity &identity);

// A reply counts when it has at least five fields and the first is exactly "RESP:INFO".
std::optional<InfoReply> parseInfoReply(std::string_view datagram);

} // namespace kavro::discovery
