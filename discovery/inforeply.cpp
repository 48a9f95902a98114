#include "discovery/inforeply.h"

#include "discovery/protocol.h"

#include <vector>

namespace kavro::discovery {

namespace {

constexpr std::string_view kInfoReply = "RESP:INFO";

} // namespace

std::string formatInfoReply(const CardIdentity &identity)
{
    std::string reply(kInfoReply);
    for (const std::string *field :
         {&identity.mac, &identity.ip, &identity.subnetMask, &identity.gateway}) {
        reply += ';';
        reply += *field;
    }
    reply += ';';
    reply += std::to_string(identity.port);
    return reply;
}

std::optional<InfoReply> parseInfoReply(std::string_view datagram)
{
    const std::vector<std::string_view> fields = splitFields(datagram);
    if (fields.size() < 5 || fields[0] != kInfoReply)
        return std::nullopt;
    return InfoReply{std::string(fields[1]), std::string(fields[2]), std::string(fields[3]),
                     std::string(fields[4])};
}

} // namespace kavro::discovery
