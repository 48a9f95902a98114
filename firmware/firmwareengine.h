#pragma once

#include "firmwareport.h"
#include "link/cardframe.h"
#include "link/cardidentity.h"
#include "link/commandwindow.h"
#include "link/keytable.h"
#include "pulserbank.h"
#include "rxqueue.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace kavro::firmware {

// The simulated network card: one group of 32 inputs and 32 outputs, a delayed switch-off of
// output 0, eight pulse generators and the card's side of the board link.
//
// The object is the card's persistent state and outlives any number of firmware runs. A pass
// of the loop is a function of the elapsed time it is given, so tests drive it with their own
// clock; runFirmware() is the real loop on the monotonic clock.
//
// Two drivers run it. The spinning loop (runLoop) makes passes as fast as it can, as the
// desktop board does. An event driver calls advanceTo() when bytes arrive, when inputs change
// and at nextDeadlineNs(), and sleeps in between: the passes it runs are the ones the spinning
// loop would have run, so the frames are the same, in the same order, with the same sequence
// numbers; only stretches in which nothing can be seen are taken in one step.
//
// Threads: ReciveData() is the only call for the producer thread; everything else belongs to
// the thread that runs the firmware (or to anyone while it is stopped).
class FirmwareEngine
{
public:
    static constexpr int GroupCount = link::kNetCardGroups;
    static constexpr int BitsPerGroup = link::kNetCardBitsPerGroup;
    static constexpr std::uint64_t TickNs = 500000;
    static constexpr std::uint32_t DelayOffIdle = 5000;
    static constexpr std::uint16_t HeartbeatMs = 2000;
    static constexpr std::uint8_t ScanMs = 6;

    explicit FirmwareEngine(FirmwarePort &port, const link::KeyTable &key = link::kLinkKeyTable);

    // Producer side: every byte is kept, in order, however large the delivery.
    void ReciveData(const std::uint8_t *data, std::size_t size);
    std::uint64_t pendingBytes() const { return rx_.pendingBytes(); }
    std::uint64_t intakeHighWater() const { return rx_.highWater(); }

    // Start-up: scan inputs, show the kept outputs, send the restart report, empty the intake.
    void start();
    // One pass at elapsedNs since start(): at most one 0.5 ms tick, at most one received byte.
    void pass(std::uint64_t elapsedNs);
    // start(), then runLoop().
    void runFirmware(const std::atomic<bool> &stop);
    // Passes on the monotonic clock with a yield each, until stop is set.
    void runLoop(const std::atomic<bool> &stop);

    // Event driver: runs the passes due by nowNs (elapsed since start()), ticks first, then
    // takes every received byte, one per pass.
    void advanceTo(std::uint64_t nowNs);
    // Elapsed time at which the card next acts by itself (heartbeat, delayed switch-off, a
    // pulser phase, the input scan after noteInputsChanged()), if no byte arrives before. 0
    // means at once.
    std::uint64_t nextDeadlineNs() const;
    // The event driver's promise: inputs read the same as at the last scan unless this is
    // called. The spinning loop needs no such promise, as it never skips a scan.
    void noteInputsChanged() { inputsDirty_ = true; }

    // Views for the firmware thread, or for anyone while the firmware is stopped.
    std::uint32_t inputWord() const { return inputWord_[0]; }
    std::uint32_t outputWord() const { return outputWord_[0]; }
    std::uint8_t sequence() const { return sequence_; }
    std::uint8_t statusCode() const { return statusCode_; }
    bool delayOffArmed() const { return delayOffTicks_ < DelayOffIdle; }
    std::uint32_t msCount() const { return msCount_; }
    const PulserBank &pulsers() const { return pulsers_; }

private:
    void runPass(bool doTick, bool takeByte);
    bool reportPending() const;
    std::uint64_t quietTicks() const;
    void skipQuietTicks(std::uint64_t ticks);
    std::uint64_t tickTimeOfMsStep(std::uint32_t steps) const;
    void tick();
    void execute(const link::CommandFrame &cmd);
    void scanInputs(int group);
    void driveOutputs(int group);
    void sendGroupReport(int group, bool counted, bool restart);
    void sendPulserStatus(std::uint8_t kind);
    void sendReadBack(int group);
    void sendBlankReply(std::uint8_t param);
    void sendHeartbeat();
    void sendFrame(link::CardFrame frame);
    void cancelDelayOff() { delayOffTicks_ = DelayOffIdle; }

    FirmwarePort &port_;
    link::KeyTable key_;

    // Card shape, set at each start.
    std::array<std::uint8_t, GroupCount> inputBits_{};
    std::array<std::uint8_t, GroupCount> outputBits_{};

    // Live I/O.
    std::array<std::uint32_t, GroupCount> inputWord_{};
    std::array<std::uint32_t, GroupCount> outputWord_{};
    std::array<std::uint32_t, GroupCount> reportedInput_{};
    std::array<std::uint32_t, GroupCount> reportedOutput_{};

    // Link.
    RxQueue rx_;
    link::CommandWindow window_;
    std::uint8_t sequence_ = 0;
    std::uint8_t statusCode_ = 0;

    // Timing.
    std::uint32_t halfTicks_ = 0;
    std::uint32_t msCount_ = 0;
    std::uint16_t heartbeatMs_ = 0;
    std::uint8_t scanMs_ = 0;
    bool scanDue_ = false;
    bool inputsDirty_ = true;
    std::uint32_t delayOffTicks_ = DelayOffIdle;
    std::uint32_t delayOffUnits_ = 0;
    std::uint32_t delayOffLimit_ = 0;

    // Per run of the loop.
    std::uint64_t nextTickNs_ = TickNs;
    std::uint32_t lastMs_ = 0;

    PulserBank pulsers_;
};

} // namespace kavro::firmware
