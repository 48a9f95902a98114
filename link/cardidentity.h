#pragma once

#include <cstdint>

namespace kavro::link {

// The link itself carries neither card type nor firmware version, so every party that speaks
// it for the network card model (the virtual board, the network and serial libraries) takes
// the model's identity from here.
inline constexpr std::uint8_t kNetCardType = 7;         // 32 inputs, 32 outputs, one group
inline constexpr std::uint8_t kNetFirmwareVersion = 12; // pulse generators available
inline constexpr int kNetCardGroups = 1;
inline constexpr int kNetCardBitsPerGroup = 32;

// The TCP port a network card serves the board link on unless told otherwise.
inline constexpr std::uint16_t kDefaultLinkPort = 8088;

} // namespace kavro::link
