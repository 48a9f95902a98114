#pragma once

#include <array>
#include <cstdint>

namespace kavro::link {

// Both ends of the board link scramble with the same 14 bytes; a frame's selector picks a
// window of 12 of them. The table never travels on the wire.
using KeyTable = std::array<std::uint8_t, 14>;

inline constexpr KeyTable kLinkKeyTable = {0x4B, 0xA7, 0x1D, 0xE2, 0x58, 0x93, 0x36,
                                           0xC9, 0x6F, 0x04, 0xB1, 0x7A, 0xD5, 0x2E};

} // namespace kavro::link
