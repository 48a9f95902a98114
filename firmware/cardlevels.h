#pragma once

#include "firmwareport.h"
#include "link/cardidentity.h"

#include <atomic>
#include <cstdint>

namespace kavro::firmware {

// What a simulated card's pins carry: the input levels its owner sets and the output levels
// its firmware drives, one group of 32 each. With the loopback on, output n drives input n,
// as a test fixture wired output to input would.
//
// Threads: outputs belong to the thread that delivers SetOutBitLevel; the input word is
// atomic, so an owner on another thread may set inputs while the firmware reads them.
class CardLevels : public FirmwarePort
{
public:
    static constexpr int Bits = link::kNetCardBitsPerGroup;

    bool GetInBitLevel(std::uint8_t group, std::uint8_t nBit) override;
    void SetOutBitLevel(std::uint8_t group, std::uint8_t nBit, bool bH) override;

    // True when the level changed; bits outside the card are refused.
    bool setInput(int bit, bool on);
    bool input(int bit) const;
    bool output(int bit) const;
    std::uint32_t inputs() const { return inputs_.load(std::memory_order_relaxed); }
    std::uint32_t outputs() const { return outputs_; }

    void setLoopback(bool on) { loopback_ = on; }
    bool loopback() const { return loopback_; }

protected:
    // Only real changes of an output's level; every notification, also a repeated one,
    // updates the level first.
    virtual void outputChanged(int /*bit*/, bool /*on*/) {}
    // An input's level changed, by setInput() or through the loopback.
    virtual void inputChanged(int /*bit*/, bool /*on*/) {}

private:
    std::atomic<std::uint32_t> inputs_{0};
    std::uint32_t outputs_ = 0;
    bool loopback_ = false;
};

} // namespace kavro::firmware
