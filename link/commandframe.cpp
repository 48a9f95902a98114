#include "commandframe.h"

namespace kavro::link {

CommandFrame CommandFrame::make(Command code, std::uint8_t param, std::uint32_t fieldA,
                                std::uint32_t fieldB, std::uint8_t selector)
{
    CommandFrame f;
    f.code = static_cast<std::uint8_t>(code);
    f.selector = selector;
    f.param = param;
    f.fieldA = fieldA;
    f.fieldB = fieldB;
    return f;
}

CommandFrame CommandFrame::makePulser(std::uint8_t pulserSelector, std::uint16_t count,
                                      std::uint16_t setMs, std::uint16_t clearMs,
                                      std::uint16_t delayMs, std::uint8_t selector)
{
    return make(Command::ConfigurePulser, pulserSelector, (std::uint32_t(count) << 16) | setMs,
                (std::uint32_t(clearMs) << 16) | delayMs, selector);
}

PlainFrame CommandFrame::plain() const
{
    PlainFrame p{};
    p[0] = kHeader0;
    p[1] = kHeader1;
    p[2] = kCommandHeader2;
    p[3] = kCommandHeader3;
    p[4] = code;
    p[5] = selector;
    p[6] = param;
    writeBigEndian32(&p[7], fieldA);
    writeBigEndian32(&p[11], fieldB);
    return p;
}

WireFrame CommandFrame::encode(const KeyTable &key) const
{
    return scrambleCommandFrame(plain(), key);
}

std::optional<CommandFrame> CommandFrame::fromPlain(const PlainFrame &p)
{
    if (p[0] != kHeader0 || p[1] != kHeader1 || p[2] != kCommandHeader2 || p[3] != kCommandHeader3)
        return std::nullopt;
    CommandFrame f;
    f.code = p[4];
    f.selector = p[5];
    f.param = p[6];
    f.fieldA = readBigEndian32(&p[7]);
    f.fieldB = readBigEndian32(&p[11]);
    return f;
}

std::optional<CommandFrame> CommandFrame::decode(const std::uint8_t *wire16, const KeyTable &key)
{
    if (!checksumMatches(wire16))
        return std::nullopt;
    return fromPlain(descrambleCommandFrame(wire16, key));
}

} // namespace kavro::link
