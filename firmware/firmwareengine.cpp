#include "firmwareengine.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace kavro::firmware {

using link::CardFrame;
using link::Command;
using link::CommandFrame;

namespace {

template <typename T> T addSaturated(T a, std::uint32_t b, std::uint32_t ceiling)
{
    const std::uint32_t sum = std::uint32_t(a) + b;
    return T(sum > ceiling ? ceiling : sum);
}

} // namespace

FirmwareEngine::FirmwareEngine(FirmwarePort &port, const link::KeyTable &key)
    : port_(port), key_(key), window_(key)
{
}

void FirmwareEngine::ReciveData(const std::uint8_t *data, std::size_t size)
{
    rx_.push(data, size);
}

void FirmwareEngine::start()
{
    inputBits_[0] = BitsPerGroup;
    outputBits_[0] = BitsPerGroup;
    scanInputs(0);
    driveOutputs(0);
    reportedInput_[0] = inputWord_[0];
    reportedOutput_[0] = outputWord_[0];
    sendGroupReport(0, false, true);
    rx_.discardAll();
    window_.clear();
    nextTickNs_ = TickNs;
    lastMs_ = 0;
}

void FirmwareEngine::runFirmware(const std::atomic<bool> &stop)
{
    start();
    runLoop(stop);
}

void FirmwareEngine::runLoop(const std::atomic<bool> &stop)
{
    const auto t0 = std::chrono::steady_clock::now();
    while (!stop.load(std::memory_order_acquire)) {
        const auto now = std::chrono::steady_clock::now();
        pass(std::uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(now - t0).count()));
        std::this_thread::yield();
    }
}

void FirmwareEngine::pass(std::uint64_t elapsedNs)
{
    // A late loop catches up one tick per pass.
    runPass(elapsedNs >= nextTickNs_, true);
}

void FirmwareEngine::runPass(bool doTick, bool takeByte)
{
    if (doTick) {
        tick();
        nextTickNs_ += TickNs;
    }

    std::uint8_t byte;
    if (takeByte && rx_.pop(byte)) {
        if (window_.push(byte) == link::CommandWindow::Result::Command) {
            statusCode_ = link::status::Accepted;
            execute(window_.command());
        }
    }

    std::uint32_t elapsed = 0;
    if (msCount_ > lastMs_)
        elapsed = msCount_ - lastMs_;
    else if (msCount_ < lastMs_)
        elapsed = 0xFFFFFFFFu - lastMs_ + msCount_;
    const auto m = std::uint16_t(elapsed);
    lastMs_ = msCount_;

    heartbeatMs_ = addSaturated(heartbeatMs_, m, 0xFFFF);
    if (heartbeatMs_ >= HeartbeatMs) {
        heartbeatMs_ = 0;
        sendHeartbeat();
    }

    scanMs_ = addSaturated(scanMs_, m, 0xFF);
    if (scanMs_ >= ScanMs) {
        scanMs_ = 0;
        scanDue_ = true;
    }

    for (int g = 0; g < GroupCount; ++g) {
        if (scanDue_)
            scanInputs(g);
        if (inputWord_[g] != reportedInput_[g] || outputWord_[g] != reportedOutput_[g]) {
            reportedInput_[g] = inputWord_[g];
            reportedOutput_[g] = outputWord_[g];
            sendGroupReport(g, true, false);
            heartbeatMs_ = 0;
        }
    }
    scanDue_ = false;

    if (m != 0 && pulsers_.stepPulsers(m, outputWord_[0], port_)) {
        statusCode_ |= link::status::TrainsEnded;
        sendPulserStatus(0);
        heartbeatMs_ = 0;
    }
}

void FirmwareEngine::advanceTo(std::uint64_t nowNs)
{
    // After a start the first pass takes the milliseconds counted before it at once.
    if (lastMs_ != msCount_)
        runPass(false, false);
    while (nextTickNs_ <= nowNs) {
        const std::uint64_t due = (nowNs - nextTickNs_) / TickNs + 1;
        const std::uint64_t quiet = quietTicks();
        if (quiet > 0) {
            skipQuietTicks(quiet < due ? quiet : due);
            continue;
        }
        runPass(true, false);
        // A pulser's edge is reported by the pass after the one that made it; the spinning
        // loop runs that pass long before the next tick.
        if (reportPending())
            runPass(false, false);
    }
    // The bytes arrived now, after every tick due: take them all, one per pass.
    while (rx_.pendingBytes() > 0)
        runPass(false, true);
    if (reportPending())
        runPass(false, false);
}

bool FirmwareEngine::reportPending() const
{
    for (int g = 0; g < GroupCount; ++g)
        if (inputWord_[g] != reportedInput_[g] || outputWord_[g] != reportedOutput_[g])
            return true;
    return false;
}

// Ticks that can pass without anything a client or the outputs could see: no frame, no edge,
// no scan that could find a change. Each of them would only count time.
std::uint64_t FirmwareEngine::quietTicks() const
{
    if (inputsDirty_ || lastMs_ != msCount_ || rx_.pendingBytes() > 0 || reportPending())
        return 0;
    // Millisecond steps before the heartbeat's, and never across a wrap of msCount.
    std::uint32_t steps =
        heartbeatMs_ < HeartbeatMs ? std::uint32_t(HeartbeatMs - 1 - heartbeatMs_) : 0;
    if (0xFFFFFFFFu - msCount_ < steps)
        steps = 0xFFFFFFFFu - msCount_;
    if (const std::uint32_t toPhaseEnd = pulsers_.msToNextPhaseEnd(); toPhaseEnd > 0)
        steps = std::min(steps, toPhaseEnd - 1);
    // t ticks make (halfTicks + t) / 2 steps.
    std::uint64_t ticks = 2 * std::uint64_t(steps) + 1 - halfTicks_;
    if (delayOffTicks_ < DelayOffIdle)
        ticks = std::min<std::uint64_t>(ticks, delayOffTicks_ < 199 ? 199 - delayOffTicks_ : 0);
    return ticks;
}

void FirmwareEngine::skipQuietTicks(std::uint64_t ticks)
{
    const std::uint64_t halves = halfTicks_ + ticks;
    const auto steps = std::uint32_t(halves / 2);
    halfTicks_ = std::uint32_t(halves % 2);
    if (delayOffTicks_ < DelayOffIdle)
        delayOffTicks_ += std::uint32_t(ticks);
    msCount_ += steps;
    lastMs_ = msCount_;
    heartbeatMs_ = std::uint16_t(heartbeatMs_ + steps);
    // Every scan in between reads the inputs the last one read.
    scanMs_ = std::uint8_t((scanMs_ + steps) % ScanMs);
    pulsers_.advanceWithinPhase(steps);
    nextTickNs_ += ticks * TickNs;
}

// Elapsed time of the tick that makes the given number of millisecond steps from now.
std::uint64_t FirmwareEngine::tickTimeOfMsStep(std::uint32_t steps) const
{
    const std::uint64_t ticks = 2 * std::uint64_t(steps) - halfTicks_;
    return nextTickNs_ + (ticks - 1) * TickNs;
}

std::uint64_t FirmwareEngine::nextDeadlineNs() const
{
    if (lastMs_ != msCount_ || rx_.pendingBytes() > 0 || reportPending())
        return 0;
    const std::uint32_t toHeartbeat =
        heartbeatMs_ < HeartbeatMs ? std::uint32_t(HeartbeatMs - heartbeatMs_) : 1;
    std::uint64_t deadline = tickTimeOfMsStep(toHeartbeat);
    if (inputsDirty_)
        deadline = std::min(deadline, tickTimeOfMsStep(std::uint32_t(ScanMs - scanMs_)));
    if (const std::uint32_t toPhaseEnd = pulsers_.msToNextPhaseEnd(); toPhaseEnd > 0)
        deadline = std::min(deadline, tickTimeOfMsStep(toPhaseEnd));
    if (delayOffTicks_ < DelayOffIdle && delayOffLimit_ > delayOffUnits_) {
        const std::uint64_t ticks = std::uint64_t(200 - delayOffTicks_) +
                                    200 * std::uint64_t(delayOffLimit_ - delayOffUnits_ - 1);
        deadline = std::min(deadline, nextTickNs_ + (ticks - 1) * TickNs);
    }
    return deadline;
}

void FirmwareEngine::tick()
{
    ++halfTicks_;
    if (delayOffTicks_ < DelayOffIdle)
        ++delayOffTicks_;
    if (halfTicks_ == 2) {
        halfTicks_ = 0;
        ++msCount_;
    }
    if (delayOffTicks_ == 200) {
        delayOffTicks_ = 0;
        ++delayOffUnits_;
        if (delayOffUnits_ == delayOffLimit_) {
            delayOffTicks_ = DelayOffIdle;
            delayOffUnits_ = 0;
            outputWord_[0] &= ~1u;
            port_.SetOutBitLevel(0, 0, true);
        }
    }
}

void FirmwareEngine::execute(const CommandFrame &cmd)
{
    const std::uint8_t p = cmd.param;
    // The card has one group of 32: other groups and bits are refused without effect, so
    // they never index past the arrays nor reach the outputs' owner.
    const bool groupOk = p < GroupCount;
    const bool bitOk = cmd.fieldA < std::uint32_t(BitsPerGroup);

    switch (static_cast<Command>(cmd.code)) {
    case Command::SetOutBit:
        if (!groupOk || !bitOk)
            return;
        outputWord_[p] |= 1u << cmd.fieldA;
        port_.SetOutBitLevel(p, std::uint8_t(cmd.fieldA), false);
        break;
    case Command::ClearOutBit:
        if (!groupOk || !bitOk)
            return;
        outputWord_[p] &= ~(1u << cmd.fieldA);
        if (p == 0 && (outputWord_[0] & 1u) == 0)
            cancelDelayOff();
        port_.SetOutBitLevel(p, std::uint8_t(cmd.fieldA), true);
        break;
    case Command::CancelDelayOff:
        cancelDelayOff();
        break;
    case Command::ReadGroup:
        if (groupOk)
            sendReadBack(p);
        break;
    case Command::ReportGroup:
        if (groupOk)
            sendGroupReport(p, false, false);
        break;
    case Command::Refresh:
        scanInputs(0);
        driveOutputs(0);
        reportedInput_[0] = inputWord_[0];
        reportedOutput_[0] = outputWord_[0];
        sendGroupReport(0, false, false);
        break;
    case Command::BlankQuery:
        statusCode_ = link::status::Blank;
        sendBlankReply(p);
        break;
    case Command::ConfigurePulser:
        statusCode_ = link::status::PulserAnswer;
        pulsers_.configurePulsers(p, cmd.fieldA, cmd.fieldB);
        sendPulserStatus(1);
        heartbeatMs_ = 0;
        break;
    case Command::StopAll:
        cancelDelayOff();
        pulsers_.stopAllPulsers();
        sendGroupReport(0, false, false);
        break;
    case Command::WriteOutWord:
        if (!groupOk)
            return;
        outputWord_[p] = cmd.fieldB;
        if (p == 0 && (cmd.fieldB & 1u) == 0)
            cancelDelayOff();
        driveOutputs(p);
        break;
    case Command::DelayOff100ms:
    case Command::DelayOff500ms:
    case Command::DelayOff1s:
        delayOffTicks_ = 0;
        delayOffUnits_ = 0;
        outputWord_[0] |= 1u;
        port_.SetOutBitLevel(0, 0, false);
        delayOffLimit_ =
            std::uint32_t(p) * (cmd.code == std::uint8_t(Command::DelayOff100ms)   ? 1u
                                : cmd.code == std::uint8_t(Command::DelayOff500ms) ? 5u
                                                                                   : 10u);
        break;
    case Command::SetStatus7:
        statusCode_ = link::status::SetStatus7;
        break;
    case Command::SetStatus3:
        statusCode_ = link::status::SetStatus3;
        break;
    default:
        break;
    }
}

void FirmwareEngine::scanInputs(int group)
{
    inputsDirty_ = false;
    std::uint32_t word = 0;
    for (int n = 0; n < inputBits_[group]; ++n)
        if (port_.GetInBitLevel(std::uint8_t(group), std::uint8_t(n)))
            word |= 1u << n;
    inputWord_[group] = word;
}

void FirmwareEngine::driveOutputs(int group)
{
    for (int n = 0; n < outputBits_[group]; ++n)
        port_.SetOutBitLevel(std::uint8_t(group), std::uint8_t(n),
                             ((outputWord_[group] >> n) & 1u) == 0);
}

void FirmwareEngine::sendGroupReport(int group, bool counted, bool restart)
{
    if (restart) {
        sequence_ = 0;
    } else if (counted) {
        if (++sequence_ == 0)
            sequence_ = 1;
    } else if (sequence_ == 0) {
        sequence_ = 1;
    }
    sendFrame(CardFrame::groupReport(sequence_, statusCode_, restart ? 0 : std::uint8_t(group),
                                     inputWord_[group], outputWord_[group], 0));
    statusCode_ = link::status::Idle;
}

void FirmwareEngine::sendReadBack(int group)
{
    sendFrame(CardFrame::groupReport(sequence_, link::status::Accepted, std::uint8_t(group),
                                     inputWord_[group], outputWord_[group], 0));
    statusCode_ = link::status::Idle;
}

void FirmwareEngine::sendBlankReply(std::uint8_t param)
{
    sendFrame(CardFrame::blankReply(sequence_, param, 0));
    statusCode_ = link::status::Idle;
}

void FirmwareEngine::sendPulserStatus(std::uint8_t kind)
{
    sendFrame(CardFrame::pulserStatus(sequence_, statusCode_, kind, pulsers_.runningFlags(), 0));
    statusCode_ = link::status::Idle;
}

void FirmwareEngine::sendHeartbeat()
{
    sendFrame(CardFrame::heartbeat(sequence_, 0));
}

void FirmwareEngine::sendFrame(CardFrame frame)
{
    frame.selector = std::uint8_t(sequence_ + window_.selectorByte());
    port_.SendBuf(frame.encodeForWire(key_));
}

} // namespace kavro::firmware
