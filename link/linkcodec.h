#pragma once

#include "keytable.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace kavro::link {

inline constexpr std::size_t kFrameSize = 16;     // one frame on the wire
inline constexpr std::size_t kPlainSize = 15;     // frame bytes 0 to 14 before scrambling
inline constexpr std::size_t kCardFrameWire = 17; // the card appends one 0x00 to each frame

using WireFrame = std::array<std::uint8_t, kFrameSize>;
using PlainFrame = std::array<std::uint8_t, kPlainSize>;
using CardWireFrame = std::array<std::uint8_t, kCardFrameWire>;

inline constexpr std::uint8_t kHeader0 = 0xFA;
inline constexpr std::uint8_t kHeader1 = 0x5A;
inline constexpr std::uint8_t kCommandHeader2 = 0x53;
inline constexpr std::uint8_t kCommandHeader3 = 0xFF;
inline constexpr std::uint8_t kCardHeader3 = 0x00;

// Sum of bytes 0 to 14 modulo 256, always over the bytes as they travel (scrambled).
std::uint8_t checksum(const std::uint8_t *bytes15);
bool checksumMatches(const std::uint8_t *frame16);

// Card to client. The selector travels in the clear in byte 4 (taken from plain[4]).
WireFrame scrambleCardFrame(const PlainFrame &plain, const KeyTable &key = kLinkKeyTable);
PlainFrame descrambleCardFrame(const std::uint8_t *wire16, const KeyTable &key = kLinkKeyTable);

// Client to card. The selector travels in the clear in byte 5 (taken from plain[5]).
WireFrame scrambleCommandFrame(const PlainFrame &plain, const KeyTable &key = kLinkKeyTable);
PlainFrame descrambleCommandFrame(const std::uint8_t *wire16, const KeyTable &key = kLinkKeyTable);

inline std::uint32_t readBigEndian32(const std::uint8_t *p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
           std::uint32_t(p[3]);
}

inline std::uint16_t readBigEndian16(const std::uint8_t *p)
{
    return std::uint16_t((p[0] << 8) | p[1]);
}

inline void writeBigEndian32(std::uint8_t *p, std::uint32_t v)
{
    p[0] = std::uint8_t(v >> 24);
    p[1] = std::uint8_t(v >> 16);
    p[2] = std::uint8_t(v >> 8);
    p[3] = std::uint8_t(v);
}

} // namespace kavro::link
