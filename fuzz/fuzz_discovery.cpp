// Sequences of datagrams into the card's side of the UDP configuration protocol, as any host
// on the network could send them. Most of them address the card's current MAC, so that the set
// commands get past the MAC check. Every answer and every change must follow the protocol's
// table, and the card must stay addressable.
#include "discovery/addresses.h"
#include "discovery/cardidentity.h"
#include "discovery/cardrequests.h"
#include "discovery/inforeply.h"
#include "discovery/macgeneration.h"
#include "discovery/protocol.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using namespace kavro::discovery;

namespace {

constexpr std::string_view kSetCommands[] = {"CMD:SET_IP", "CMD:SET_MAC", "CMD:SET_SUBNETMASK",
                                             "CMD:SET_GATEWAY"};

void check(bool condition)
{
    if (!condition)
        std::abort();
}

bool isSetCommand(std::string_view command)
{
    for (const std::string_view name : kSetCommands) {
        if (command == name)
            return true;
    }
    return false;
}

// The one field a successful set command may change.
std::string CardIdentity::*targetOf(std::string_view command)
{
    if (command == "CMD:SET_IP")
        return &CardIdentity::ip;
    if (command == "CMD:SET_MAC")
        return &CardIdentity::mac;
    if (command == "CMD:SET_SUBNETMASK")
        return &CardIdentity::subnetMask;
    return &CardIdentity::gateway;
}

void checkRequest(CardIdentity &identity, const std::string &datagram)
{
    const CardIdentity before = identity;
    const RequestOutcome outcome = handleRequest(identity, datagram);
    const std::vector<std::string_view> fields = splitFields(datagram);
    const std::string_view command = fields[0];

    check(outcome.recognised == (command == "CMD:GET_INFO" || isSetCommand(command)));
    check(!outcome.reply || outcome.reply->compare(0, 5, "RESP:") == 0);
    if (!outcome.recognised) {
        check(!outcome.reply && !outcome.changed && identity == before);
    } else if (command == "CMD:GET_INFO") {
        check(outcome.reply && !outcome.changed && identity == before);
        const std::vector<std::string> expected = {"RESP:INFO",    before.mac,
                                                   before.ip,      before.subnetMask,
                                                   before.gateway, std::to_string(before.port)};
        const std::vector<std::string_view> got = splitFields(*outcome.reply);
        check(got.size() == expected.size());
        for (std::size_t i = 0; i < got.size(); ++i)
            check(got[i] == expected[i]);
        const auto parsed = parseInfoReply(*outcome.reply);
        check(parsed && parsed->mac == before.mac && parsed->ip == before.ip &&
              parsed->subnetMask == before.subnetMask && parsed->gateway == before.gateway);
    } else {
        const std::string_view mac = fieldAt(fields, 1);
        const std::string_view value = fieldAt(fields, 2);
        if (mac != before.mac) {
            check(!outcome.reply && !outcome.changed && identity == before);
        } else {
            const std::string expected = "RESP:" + std::string(command.substr(4)) + ";" +
                                         std::string(mac) + ";" + std::string(value) +
                                         (outcome.changed ? ";SUCCESS" : ";INVALID_FORMAT");
            check(outcome.reply == expected);
            CardIdentity changed = before;
            if (outcome.changed)
                changed.*targetOf(command) = std::string(value);
            check(identity == changed);
            check(outcome.changed || command != "CMD:SET_IP");
        }
    }
    // Whatever happened, the card keeps a MAC it can be addressed by, and its port.
    check(identity.mac == "02:DE:12:34:56:78" || isWellFormedMac(identity.mac));
    check(identity.port == before.port);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    CardIdentity identity{"02:DE:12:34:56:78", "192.168.1.100", "255.255.255.0", "192.168.1.1",
                          kDiscoveryPort};
    std::size_t at = 0;
    while (at + 2 <= size) {
        const std::uint8_t tag = data[at];
        std::size_t n = data[at + 1];
        at += 2;
        if (n > size - at)
            n = size - at;
        const std::string payload(reinterpret_cast<const char *>(data + at), n);
        at += n;

        // Leading and trailing white space never changes the address check.
        check(isIPv4Address(payload) == isIPv4Address(" " + payload + "\t"));

        std::string datagram;
        switch (tag % 8) {
        case 0: // anything
            datagram = payload;
            break;
        case 1:
            datagram = "CMD:GET_INFO" + payload;
            break;
        case 2:
        case 3:
        case 4:
        case 5: // a set command for this card
            datagram = std::string(kSetCommands[tag % 8 - 2]) + ";" + identity.mac + ";" + payload;
            break;
        case 6: // a set command for whatever MAC the input names
            datagram = std::string(kSetCommands[(tag >> 3) % 4]) + ";" + payload;
            break;
        default: { // a new well-formed MAC, in either case
            std::array<std::uint8_t, 6> bytes{};
            for (std::size_t i = 0; i < bytes.size() && i < payload.size(); ++i)
                bytes[i] = std::uint8_t(payload[i]);
            std::string mac = formatMac(bytes);
            if (tag & 0x80) {
                for (char &c : mac)
                    c = (c >= 'A' && c <= 'F') ? char(c - 'A' + 'a') : c;
            }
            datagram = "CMD:SET_MAC;" + identity.mac + ";" + mac;
            break;
        }
        }
        checkRequest(identity, datagram);
    }
    return 0;
}
