#pragma once

#include "link/linkcodec.h"

#include <cstdint>

namespace kavro::firmware {

// What the firmware engine needs from the world around it. All three are called on the
// firmware thread; an implementation that shows outputs or sends frames on another thread
// must hand the values over (the frame arrives as a copy and may be kept).
class FirmwarePort
{
public:
    virtual ~FirmwarePort() = default;

    // Level of one input, answered at once. An implementation that knows nothing says false.
    virtual bool GetInBitLevel(std::uint8_t group, std::uint8_t nBit) = 0;
    // One output's new level; bH is the complement of the output bit (false = on).
    virtual void SetOutBitLevel(std::uint8_t group, std::uint8_t nBit, bool bH) = 0;
    // One card frame for the link: 16 frame bytes and the trailing 0x00.
    virtual void SendBuf(link::CardWireFrame frame) = 0;
};

} // namespace kavro::firmware
