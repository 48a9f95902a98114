#pragma once

#include "firmwareport.h"

#include <array>
#include <cstdint>

namespace kavro::firmware {

// One pulse generator: drives output n of group 0 for pulser n.
struct Pulser
{
    static constexpr std::uint8_t PhaseDelay = 0;
    static constexpr std::uint8_t PhaseSet = 10;
    static constexpr std::uint8_t PhaseClear = 40;

    std::uint8_t running = 0;
    bool startSet = false;
    std::uint16_t pulseCount = 0; // set and clear phases each; 0xFFFF is endless
    std::uint16_t setTimeMs = 0;
    std::uint16_t clearTimeMs = 0;
    std::uint16_t startDelayMs = 0;
    std::uint8_t phase = PhaseDelay;
    std::uint16_t setPhasesDone = 0;
    std::uint16_t clearPhasesDone = 0;
    std::uint16_t setElapsed = 0;
    std::uint16_t clearElapsed = 0;
    std::uint16_t delayElapsed = 0;
};

// The card's eight pulse generators. They act on the output word they are handed and report
// each edge to the port; the engine reports the word change in its next pass.
class PulserBank
{
public:
    static constexpr int Count = 8;
    static constexpr std::uint16_t Endless = 0xFFFF;

    // Command 11: the low four bits 0xF address all eight, otherwise the low three bits name
    // one; any of the high four bits makes the first phase a set phase. Touches no output.
    void configurePulsers(std::uint8_t selector, std::uint32_t fieldA, std::uint32_t fieldB);
    // Advances every running pulser by elapsedMs; true when one or more trains ended.
    bool stepPulsers(std::uint16_t elapsedMs, std::uint32_t &outputWord0, FirmwarePort &port);
    // Command 16: all idle, outputs as they are.
    void stopAllPulsers();

    // For a driver that sleeps between events: milliseconds until the first running pulser
    // ends its phase (at least 1), or 0 when none runs.
    std::uint32_t msToNextPhaseEnd() const;
    // Moves every running pulser on by elapsedMs that end no phase (fewer than
    // msToNextPhaseEnd()); the same as that many one-millisecond steps.
    void advanceWithinPhase(std::uint32_t elapsedMs);

    std::array<std::uint8_t, Count> runningFlags() const;
    const Pulser &pulser(int n) const { return pulsers_[std::size_t(n)]; }

private:
    std::array<Pulser, Count> pulsers_{};
};

} // namespace kavro::firmware
