#pragma once

#include "linkcodec.h"

#include <cstdint>
#include <optional>

namespace kavro::link {

// Command codes a client sends in byte 4 of a command frame. Other codes are acknowledged
// by the card through its status code only.
enum class Command : std::uint8_t {
    SetOutBit = 1,
    ClearOutBit = 2,
    CancelDelayOff = 4,
    ReadGroup = 7,
    ReportGroup = 8,
    Refresh = 9,
    BlankQuery = 10,
    ConfigurePulser = 11,
    StopAll = 16,
    WriteOutWord = 17,
    DelayOff100ms = 18,
    DelayOff500ms = 19,
    DelayOff1s = 20,
    SetStatus7 = 21,
    SetStatus3 = 22,
};

// A command frame, client to card, as it reads after descrambling.
struct CommandFrame
{
    std::uint8_t code = 0;
    std::uint8_t selector = 0; // travels in the clear; picks the key window
    std::uint8_t param = 0;    // P: group, pulser selector or duration count
    std::uint32_t fieldA = 0;
    std::uint32_t fieldB = 0;

    static CommandFrame make(Command code, std::uint8_t param = 0, std::uint32_t fieldA = 0,
                             std::uint32_t fieldB = 0, std::uint8_t selector = 0);
    // Command 11: field A = pulse count and set-phase time, field B = clear-phase time and
    // start delay, each a big-endian 16-bit pair.
    static CommandFrame makePulser(std::uint8_t pulserSelector, std::uint16_t count,
                                   std::uint16_t setMs, std::uint16_t clearMs,
                                   std::uint16_t delayMs, std::uint8_t selector = 0);

    PlainFrame plain() const;
    WireFrame encode(const KeyTable &key = kLinkKeyTable) const;

    // Only the header bytes decide; the code is taken as it stands.
    static std::optional<CommandFrame> fromPlain(const PlainFrame &plain);
    // Checksum first, then descrambling and the header.
    static std::optional<CommandFrame> decode(const std::uint8_t *wire16,
                                              const KeyTable &key = kLinkKeyTable);

    std::uint16_t pulseCount() const { return std::uint16_t(fieldA >> 16); }
    std::uint16_t setTimeMs() const { return std::uint16_t(fieldA); }
    std::uint16_t clearTimeMs() const { return std::uint16_t(fieldB >> 16); }
    std::uint16_t startDelayMs() const { return std::uint16_t(fieldB); }

    bool operator==(const CommandFrame &o) const
    {
        return code == o.code && selector == o.selector && param == o.param && fieldA == o.fieldA &&
               fieldB == o.fieldB;
    }
};

} // namespace kavro::link
