#pragma once

#include "commandframe.h"
#include "linkcodec.h"

#include <array>
#include <cstdint>

namespace kavro::link {

// The card's side of frame synchronisation: received bytes enter a 16-byte window one at a
// time; a window whose checksum matches is taken as a frame, any other loses its first byte.
// A stray byte before a frame therefore costs exactly one byte, and the 0x00 after each card
// frame is skipped the same way.
class CommandWindow
{
public:
    enum class Result {
        Pending,   // no frame yet
        Command,   // a good command frame; see command()
        BadHeader, // checksum matched but the header did not: consumed, carries nothing
    };

    explicit CommandWindow(const KeyTable &key = kLinkKeyTable) : key_(key) {}

    Result push(std::uint8_t byte);
    void clear() { count_ = 0; }

    const CommandFrame &command() const { return command_; }
    std::uint8_t count() const { return count_; }
    // Card frames add this byte to their sequence byte to form their selector. After a good
    // frame it is that frame's selector, until new bytes overwrite it.
    std::uint8_t selectorByte() const { return window_[5]; }

private:
    KeyTable key_;
    std::array<std::uint8_t, kFrameSize> window_{};
    std::uint8_t count_ = 0;
    CommandFrame command_;
};

} // namespace kavro::link
