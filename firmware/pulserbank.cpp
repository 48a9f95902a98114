#include "pulserbank.h"

namespace kavro::firmware {

namespace {

// Phase clocks stop at their ceiling instead of wrapping: a wrap in a long start delay
// would otherwise add another 65 seconds to it.
std::uint16_t addSaturated(std::uint16_t a, std::uint16_t b)
{
    const std::uint32_t sum = std::uint32_t(a) + b;
    return sum > 0xFFFF ? std::uint16_t(0xFFFF) : std::uint16_t(sum);
}

void driveBit(std::uint32_t &word, int n, bool on, FirmwarePort &port)
{
    if (on)
        word |= 1u << n;
    else
        word &= ~(1u << n);
    port.SetOutBitLevel(0, std::uint8_t(n), !on);
}

} // namespace

void PulserBank::configurePulsers(std::uint8_t selector, std::uint32_t fieldA, std::uint32_t fieldB)
{
    const bool all = (selector & 0x0F) == 0x0F;
    const int only = selector & 0x07;
    for (int n = 0; n < Count; ++n) {
        if (!all && n != only)
            continue;
        Pulser &p = pulsers_[std::size_t(n)];
        p.pulseCount = std::uint16_t(fieldA >> 16);
        p.running = p.pulseCount != 0 ? 1 : 0;
        p.setTimeMs = std::uint16_t(fieldA);
        p.clearTimeMs = std::uint16_t(fieldB >> 16);
        p.startDelayMs = std::uint16_t(fieldB);
        p.setPhasesDone = p.clearPhasesDone = 0;
        p.setElapsed = p.clearElapsed = p.delayElapsed = 0;
        p.startSet = (selector & 0xF0) != 0;
        p.phase = Pulser::PhaseDelay;
    }
}

bool PulserBank::stepPulsers(std::uint16_t elapsedMs, std::uint32_t &outputWord0,
                             FirmwarePort &port)
{
    bool ended = false;
    for (int n = 0; n < Count; ++n) {
        Pulser &p = pulsers_[std::size_t(n)];
        if (p.running != 1)
            continue;

        bool phaseDone = false;
        switch (p.phase) {
        case Pulser::PhaseDelay:
            p.delayElapsed = addSaturated(p.delayElapsed, elapsedMs);
            if (p.delayElapsed >= p.startDelayMs) {
                if (p.startSet) {
                    p.phase = Pulser::PhaseSet;
                    driveBit(outputWord0, n, true, port);
                    p.setElapsed = 0;
                } else {
                    p.phase = Pulser::PhaseClear;
                    driveBit(outputWord0, n, false, port);
                    p.clearElapsed = 0;
                }
            }
            continue;
        case Pulser::PhaseSet:
            p.setElapsed = addSaturated(p.setElapsed, elapsedMs);
            if (p.setElapsed >= p.setTimeMs) {
                p.setElapsed = 0;
                ++p.setPhasesDone;
                phaseDone = true;
            }
            break;
        case Pulser::PhaseClear:
            p.clearElapsed = addSaturated(p.clearElapsed, elapsedMs);
            if (p.clearElapsed >= p.clearTimeMs) {
                p.clearElapsed = 0;
                ++p.clearPhasesDone;
                phaseDone = true;
            }
            break;
        default:
            break;
        }
        if (!phaseDone)
            continue;

        if (p.setPhasesDone >= p.pulseCount && p.clearPhasesDone >= p.pulseCount) {
            if (p.pulseCount == Endless) {
                // The phase that completed the count starts over; its clock is already 0.
                p.setPhasesDone = p.clearPhasesDone = 0;
            } else {
                p.running = 0;
                p.phase = Pulser::PhaseDelay;
                ended = true;
            }
        } else if (p.phase == Pulser::PhaseSet) {
            p.phase = Pulser::PhaseClear;
            driveBit(outputWord0, n, false, port);
            p.clearElapsed = 0;
        } else {
            p.phase = Pulser::PhaseSet;
            driveBit(outputWord0, n, true, port);
            p.setElapsed = 0;
        }
    }
    return ended;
}

void PulserBank::stopAllPulsers()
{
    for (Pulser &p : pulsers_)
        p.running = 0;
}

std::uint32_t PulserBank::msToNextPhaseEnd() const
{
    std::uint32_t soonest = 0;
    for (const Pulser &p : pulsers_) {
        if (p.running != 1)
            continue;
        std::uint32_t limit = 0;
        std::uint32_t elapsed = 0;
        switch (p.phase) {
        case Pulser::PhaseDelay:
            limit = p.startDelayMs;
            elapsed = p.delayElapsed;
            break;
        case Pulser::PhaseSet:
            limit = p.setTimeMs;
            elapsed = p.setElapsed;
            break;
        case Pulser::PhaseClear:
            limit = p.clearTimeMs;
            elapsed = p.clearElapsed;
            break;
        default:
            // A phase this bank never sets: step it every millisecond.
            return 1;
        }
        const std::uint32_t left = limit > elapsed ? limit - elapsed : 1;
        if (soonest == 0 || left < soonest)
            soonest = left;
    }
    return soonest;
}

void PulserBank::advanceWithinPhase(std::uint32_t elapsedMs)
{
    const auto step = std::uint16_t(elapsedMs);
    for (Pulser &p : pulsers_) {
        if (p.running != 1)
            continue;
        if (p.phase == Pulser::PhaseDelay)
            p.delayElapsed = addSaturated(p.delayElapsed, step);
        else if (p.phase == Pulser::PhaseSet)
            p.setElapsed = addSaturated(p.setElapsed, step);
        else if (p.phase == Pulser::PhaseClear)
            p.clearElapsed = addSaturated(p.clearElapsed, step);
    }
}

std::array<std::uint8_t, PulserBank::Count> PulserBank::runningFlags() const
{
    std::array<std::uint8_t, Count> flags{};
    for (int n = 0; n < Count; ++n)
        flags[std::size_t(n)] = pulsers_[std::size_t(n)].running;
    return flags;
}

} // namespace kavro::firmware
