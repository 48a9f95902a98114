#include "cardframe.h"

namespace kavro::link {

CardFrame CardFrame::groupReport(std::uint8_t sequence, std::uint8_t status, std::uint8_t group,
                                 std::uint32_t inputWord, std::uint32_t outputWord,
                                 std::uint8_t selector)
{
    CardFrame f;
    f.sequence = sequence;
    f.selector = selector;
    f.status = status;
    f.param = group;
    writeBigEndian32(&f.payload[0], inputWord);
    writeBigEndian32(&f.payload[4], outputWord);
    return f;
}

CardFrame CardFrame::pulserStatus(std::uint8_t sequence, std::uint8_t status, std::uint8_t kind,
                                  const std::array<std::uint8_t, 8> &running, std::uint8_t selector)
{
    CardFrame f;
    f.sequence = sequence;
    f.selector = selector;
    f.status = status;
    f.param = kind;
    f.payload = running;
    return f;
}

CardFrame CardFrame::heartbeat(std::uint8_t sequence, std::uint8_t selector)
{
    CardFrame f;
    f.sequence = sequence;
    f.selector = selector;
    f.status = status::Heartbeat;
    return f;
}

CardFrame CardFrame::blankReply(std::uint8_t sequence, std::uint8_t param, std::uint8_t selector)
{
    CardFrame f;
    f.sequence = sequence;
    f.selector = selector;
    f.status = status::Blank;
    f.param = param;
    f.payload.fill(0xFF);
    return f;
}

PlainFrame CardFrame::plain() const
{
    PlainFrame p{};
    p[0] = kHeader0;
    p[1] = kHeader1;
    p[2] = sequence;
    p[3] = kCardHeader3;
    p[4] = selector;
    p[5] = status;
    p[6] = param;
    for (std::size_t i = 0; i < payload.size(); ++i)
        p[7 + i] = payload[i];
    return p;
}

WireFrame CardFrame::encode(const KeyTable &key) const
{
    return scrambleCardFrame(plain(), key);
}

CardWireFrame CardFrame::encodeForWire(const KeyTable &key) const
{
    const WireFrame w = encode(key);
    CardWireFrame out{};
    for (std::size_t i = 0; i < w.size(); ++i)
        out[i] = w[i];
    out[16] = 0x00;
    return out;
}

std::optional<CardFrame> CardFrame::fromPlain(const PlainFrame &p)
{
    if (p[0] != kHeader0 || p[1] != kHeader1 || p[3] != kCardHeader3)
        return std::nullopt;
    CardFrame f;
    f.sequence = p[2];
    f.selector = p[4];
    f.status = p[5];
    f.param = p[6];
    for (std::size_t i = 0; i < f.payload.size(); ++i)
        f.payload[i] = p[7 + i];
    return f;
}

std::optional<CardFrame> CardFrame::decode(const std::uint8_t *wire16, const KeyTable &key)
{
    if (!checksumMatches(wire16))
        return std::nullopt;
    return fromPlain(descrambleCardFrame(wire16, key));
}

CardFrameKind CardFrame::kind() const
{
    // The card clears its status after every report, so 0x10 (trains ended) and 0x11
    // (pulser answer) only ever stand in pulser status frames, 0x09 only in blank replies.
    if (status == status::Heartbeat)
        return CardFrameKind::Heartbeat;
    if (status & status::TrainsEnded)
        return CardFrameKind::PulserStatus;
    if (status == status::Blank)
        return CardFrameKind::BlankReply;
    return CardFrameKind::GroupReport;
}

} // namespace kavro::link
