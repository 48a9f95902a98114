#include "commandwindow.h"

#include <algorithm>

namespace kavro::link {

CommandWindow::Result CommandWindow::push(std::uint8_t byte)
{
    window_[count_++] = byte;
    if (count_ < kFrameSize)
        return Result::Pending;

    if (!checksumMatches(window_.data())) {
        std::copy(window_.begin() + 1, window_.end(), window_.begin());
        count_ = kFrameSize - 1;
        return Result::Pending;
    }

    count_ = 0;
    const PlainFrame plain = descrambleCommandFrame(window_.data(), key_);
    std::copy(plain.begin(), plain.end(), window_.begin());
    if (auto frame = CommandFrame::fromPlain(plain)) {
        command_ = *frame;
        return Result::Command;
    }
    return Result::BadHeader;
}

} // namespace kavro::link
