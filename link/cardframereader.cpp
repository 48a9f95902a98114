#include "cardframereader.h"

#include <algorithm>

namespace kavro::link {

void CardFrameReader::reset()
{
    count_ = 0;
    expectTrailer_ = false;
}

bool CardFrameReader::push(std::uint8_t byte)
{
    if (expectTrailer_) {
        expectTrailer_ = false; // the window is empty right after a frame
        if (byte == 0x00)
            return false;
    }

    window_[count_++] = byte;
    if (count_ < kFrameSize)
        return false;

    if (checksumMatches(window_.data())) {
        if (auto f = CardFrame::fromPlain(descrambleCardFrame(window_.data(), key_))) {
            frame_ = *f;
            count_ = 0;
            expectTrailer_ = true;
            return true;
        }
    }
    std::copy(window_.begin() + 1, window_.end(), window_.begin());
    count_ = kFrameSize - 1;
    ++skipped_;
    return false;
}

} // namespace kavro::link
