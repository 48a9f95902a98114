#include "discovery/cardrequests.h"

#include "discovery/addresses.h"
#include "discovery/inforeply.h"
#include "discovery/protocol.h"

#include <utility>
#include <vector>

namespace kavro::discovery {

namespace {

bool anyText(std::string_view)
{
    return true;
}

// The card has always judged an address up to its first NUL; the stored value and the echo
// keep every byte.
bool isIPv4Value(std::string_view value)
{
    return isIPv4Address(value.substr(0, value.find('\0')));
}

struct SetCommand
{
    std::string_view request;
    std::string_view reply;
    std::string CardIdentity::*target;
    bool (*accepts)(std::string_view);
};

constexpr SetCommand kSetCommands[] = {
    {"CMD:SET_IP", "RESP:SET_IP", &CardIdentity::ip, anyText},
    {"CMD:SET_MAC", "RESP:SET_MAC", &CardIdentity::mac, isWellFormedMac},
    {"CMD:SET_SUBNETMASK", "RESP:SET_SUBNETMASK", &CardIdentity::subnetMask, isIPv4Value},
    {"CMD:SET_GATEWAY", "RESP:SET_GATEWAY", &CardIdentity::gateway, isIPv4Value},
};

} // namespace

RequestOutcome handleRequest(CardIdentity &identity, std::string_view datagram)
{
    const std::vector<std::string_view> fields = splitFields(datagram);
    RequestOutcome outcome;
    if (fields[0] == "CMD:GET_INFO") {
        outcome.recognised = true;
        outcome.reply = formatInfoReply(identity);
        return outcome;
    }
    for (const SetCommand &command : kSetCommands) {
        if (fields[0] != command.request)
            continue;
        outcome.recognised = true;
        const std::string_view mac = fieldAt(fields, 1);
        const std::string_view value = fieldAt(fields, 2);
        if (mac != identity.mac)
            return outcome;
        outcome.changed = command.accepts(value);
        if (outcome.changed)
            identity.*command.target = std::string(value);
        std::string reply(command.reply);
        for (const std::string_view field : {mac, value})
            reply.append(";").append(field);
        reply += outcome.changed ? ";SUCCESS" : ";INVALID_FORMAT";
        outcome.reply = std::move(reply);
        return outcome;
    }
    return outcome;
}

} // namespace kavro::discovery
