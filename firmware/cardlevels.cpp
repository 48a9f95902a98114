#include "cardlevels.h"

namespace kavro::firmware {

bool CardLevels::GetInBitLevel(std::uint8_t group, std::uint8_t nBit)
{
    return group == 0 && nBit < Bits && input(nBit);
}

void CardLevels::SetOutBitLevel(std::uint8_t group, std::uint8_t nBit, bool bH)
{
    if (group != 0 || nBit >= Bits)
        return;
    const bool on = !bH;
    const std::uint32_t mask = 1u << nBit;
    if (((outputs_ & mask) != 0) == on)
        return;
    outputs_ = on ? outputs_ | mask : outputs_ & ~mask;
    outputChanged(nBit, on);
    if (loopback_)
        setInput(nBit, on);
}

bool CardLevels::setInput(int bit, bool on)
{
    if (bit < 0 || bit >= Bits)
        return false;
    const std::uint32_t mask = 1u << bit;
    const std::uint32_t before = inputs_.load(std::memory_order_relaxed);
    if (((before & mask) != 0) == on)
        return false;
    inputs_.store(on ? before | mask : before & ~mask, std::memory_order_relaxed);
    inputChanged(bit, on);
    return true;
}

bool CardLevels::input(int bit) const
{
    return bit >= 0 && bit < Bits && ((inputs() >> bit) & 1u) != 0;
}

bool CardLevels::output(int bit) const
{
    return bit >= 0 && bit < Bits && ((outputs_ >> bit) & 1u) != 0;
}

} // namespace kavro::firmware
