#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace kavro::discovery {

inline constexpr std::uint16_t kDiscoveryPort = 23456;
// What the client broadcasts; the card answers any first field "CMD:GET_INFO".
inline constexpr std::string_view kDiscoveryRequest = "CMD:GET_INFO;";

// The identity a card gets when its owner leaves a value empty.
inline constexpr std::string_view kDefaultIp = "192.168.1.100";
inline constexpr std::string_view kDefaultSubnetMask = "255.255.255.0";

// A message split at every ';', byte for byte: empty fields are kept and there is always at
// least one field. The views point into the message.
std::vector<std::string_view> splitFields(std::string_view message);

// Field n, or an empty text when the message has fewer fields.
std::string_view fieldAt(const std::vector<std::string_view> &fields, std::size_t n);

} // namespace kavro::discovery
