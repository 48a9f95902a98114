#pragma once

#include "cardframe.h"
#include "linkcodec.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace kavro::link {

// The client's side of frame synchronisation on the card's 17-byte frames. A window of 16
// bytes is a frame when its checksum matches and its descrambled header reads FA 5A .. 00;
// otherwise its first byte is dropped. The 0x00 that follows each frame is expected and
// skipped; if it is missing the next byte simply starts the next window.
class CardFrameReader
{
public:
    explicit CardFrameReader(const KeyTable &key = kLinkKeyTable) : key_(key) {}

    // True when this byte completed a frame; it is then in frame() until the next push.
    bool push(std::uint8_t byte);

    // Feeds a whole delivery and calls onFrame(const CardFrame&) for each frame, in order.
    template <typename Handler>
    void feed(const std::uint8_t *data, std::size_t size, Handler &&onFrame)
    {
        for (std::size_t i = 0; i < size; ++i)
            if (push(data[i]))
                onFrame(frame_);
    }

    const CardFrame &frame() const { return frame_; }
    void reset();
    // Bytes that belonged to no frame (trailers excluded).
    std::uint64_t skippedBytes() const { return skipped_; }

private:
    KeyTable key_;
    std::array<std::uint8_t, kFrameSize> window_{};
    std::size_t count_ = 0;
    bool expectTrailer_ = false;
    std::uint64_t skipped_ = 0;
    CardFrame frame_;
};

} // namespace kavro::link
