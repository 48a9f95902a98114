#pragma once

#include "linkcodec.h"

#include <array>
#include <cstdint>
#include <optional>

namespace kavro::link {

// Status codes in byte 5 of a card frame.
namespace status {
inline constexpr std::uint8_t Idle = 0x00;
inline constexpr std::uint8_t Accepted = 0x01;
inline constexpr std::uint8_t SetStatus3 = 0x03;
inline constexpr std::uint8_t SetStatus7 = 0x07;
inline constexpr std::uint8_t Blank = 0x09;
inline constexpr std::uint8_t PulserAnswer = 0x11;
inline constexpr std::uint8_t TrainsEnded = 0x10; // a bit added to the others
inline constexpr std::uint8_t Heartbeat = 0xFF;
} // namespace status

// What a received card frame is. Counted, uncounted and restart group reports and read-backs
// share one layout; only the sequence byte tells them apart, and only over time.
enum class CardFrameKind { GroupReport, BlankReply, PulserStatus, Heartbeat };

// A card frame, card to client, as it reads after descrambling.
struct CardFrame
{
    std::uint8_t sequence = 0;
    std::uint8_t selector = 0; // byte 4: sequence plus the card's window byte 5
    std::uint8_t status = 0;
    std::uint8_t param = 0; // group, or pulser status kind (1 = answer, 0 = trains ended)
    std::array<std::uint8_t, 8> payload{};

    static CardFrame groupReport(std::uint8_t sequence, std::uint8_t status, std::uint8_t group,
                                 std::uint32_t inputWord, std::uint32_t outputWord,
                                 std::uint8_t selector);
    static CardFrame pulserStatus(std::uint8_t sequence, std::uint8_t status, std::uint8_t kind,
                                  const std::array<std::uint8_t, 8> &running,
                                  std::uint8_t selector);
    static CardFrame heartbeat(std::uint8_t sequence, std::uint8_t selector);
    static CardFrame blankReply(std::uint8_t sequence, std::uint8_t param, std::uint8_t selector);

    PlainFrame plain() const;
    WireFrame encode(const KeyTable &key = kLinkKeyTable) const;
    // The 17 bytes the card writes: the frame and one 0x00.
    CardWireFrame encodeForWire(const KeyTable &key = kLinkKeyTable) const;

    static std::optional<CardFrame> fromPlain(const PlainFrame &plain);
    static std::optional<CardFrame> decode(const std::uint8_t *wire16,
                                           const KeyTable &key = kLinkKeyTable);

    CardFrameKind kind() const;
    std::uint8_t group() const { return param; }
    std::uint32_t inputWord() const { return readBigEndian32(&payload[0]); }
    std::uint32_t outputWord() const { return readBigEndian32(&payload[4]); }
    bool pulserRunning(int n) const { return payload[std::size_t(n) & 7u] != 0; }

    bool operator==(const CardFrame &o) const
    {
        return sequence == o.sequence && selector == o.selector && status == o.status &&
               param == o.param && payload == o.payload;
    }
};

} // namespace kavro::link
