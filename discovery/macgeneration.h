#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kavro::discovery {

// Six bytes as "%02X:%02X:%02X:%02X:%02X:%02X".
std::string formatMac(const std::array<std::uint8_t, 6> &bytes);

// Six bytes from a freshly seeded engine; no bit of the first byte is forced.
std::string randomMac();

// "02:DE:" R1 ":" T1 ":" R2 ":" T0, T1 and T0 being bits 8 to 15 and 0 to 7 of the time.
// 0x02 is a locally administered, individual address.
std::string formatGeneratedMac(std::uint8_t r1, std::uint8_t r2, std::int64_t msSinceEpoch);

// A MAC for a new virtual board: two bytes from one engine for the whole process and the
// system clock in milliseconds since 1970.
std::string generateMac();

} // namespace kavro::discovery
