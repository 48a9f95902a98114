#pragma once

#include "discovery/cardidentity.h"

#include <optional>
#include <string>
#include <string_view>

namespace kavro::discovery {

// What one request did to a card.
struct RequestOutcome
{
    // The first field named a command; the card logs every such request, answered or not.
    bool recognised = false;
    // The datagram to send back to the sender.
    std::optional<std::string> reply;
    // A set command was accepted (the stored value may equal the old one); the owner is told
    // after the reply has gone out.
    bool changed = false;
};

// The card's answer to one datagram, which may hold any bytes. Set commands act only for the
// card's own MAC, compared byte for byte.
RequestOutcome handleRequest(CardIdentity &identity, std::string_view datagram);

} // namespace kavro::discovery
