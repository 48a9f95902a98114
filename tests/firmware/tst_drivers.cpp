// The two drivers of one engine: a loop that spins (a pass every few microseconds, as the
// desktop board runs it) and the event driver (passes only when bytes arrive, when inputs
// change and at the engine's next deadline). For the same command script both must give the
// same frames, in the same order, at the same times, and drive the outputs the same way.
#include "firmware/cardlevels.h"
#include "firmware/firmwareengine.h"
#include "link/commandframe.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace kavro;
using link::Command;
using link::CommandFrame;

namespace {

constexpr std::uint64_t kMs = 1000000;

struct Step
{
    enum Kind { Bytes, Input, Restart };
    double atMs;
    Kind kind;
    std::vector<std::uint8_t> bytes;
    int bit = 0;
    bool on = false;
};

Step frame(double atMs, const CommandFrame &f)
{
    const auto w = f.encode();
    return {atMs, Step::Bytes, {w.begin(), w.end()}};
}

Step cmd(double atMs, Command c, std::uint8_t p = 0, std::uint32_t a = 0, std::uint32_t b = 0)
{
    return frame(atMs, CommandFrame::make(c, p, a, b, std::uint8_t(atMs)));
}

Step input(double atMs, int bit, bool on)
{
    return {atMs, Step::Input, {}, bit, on};
}

Step restart(double atMs)
{
    return {atMs, Step::Restart, {}};
}

struct Script
{
    std::string name;
    std::vector<Step> steps; // in time order; times are since the last restart
    double endMs;
    // A burst the spinning loop takes one byte a pass (2 us here), the event driver at once:
    // its answers may come earlier by this much, never later.
    double burstMs = 0;
};

struct Recorder : firmware::CardLevels
{
    struct Frame
    {
        std::uint64_t atNs;
        link::CardWireFrame bytes;
    };
    struct Edge
    {
        int bit;
        bool on;
        bool operator==(const Edge &o) const { return bit == o.bit && on == o.on; }
    };

    void SendBuf(link::CardWireFrame f) override
    {
        frames.push_back({run * 1000000000000ull + nowNs, f});
    }
    void SetOutBitLevel(std::uint8_t group, std::uint8_t nBit, bool bH) override
    {
        CardLevels::SetOutBitLevel(group, nBit, bH);
        edges.push_back({nBit, !bH});
    }

    std::uint64_t nowNs = 0;
    std::uint64_t run = 0;
    std::vector<Frame> frames;
    std::vector<Edge> edges;
};

std::uint64_t ns(double ms)
{
    return std::uint64_t(ms * double(kMs) + 0.5);
}

// The desktop board's loop, with a pass every 2 us of card time.
void spin(const Script &script, Recorder &r)
{
    firmware::FirmwareEngine engine(r);
    engine.start();
    std::size_t next = 0;
    for (r.nowNs = 0;; r.nowNs += 2000) {
        while (next < script.steps.size() && ns(script.steps[next].atMs) <= r.nowNs) {
            const Step &s = script.steps[next++];
            if (s.kind == Step::Bytes) {
                engine.ReciveData(s.bytes.data(), s.bytes.size());
            } else if (s.kind == Step::Input) {
                r.setInput(s.bit, s.on);
            } else {
                ++r.run;
                r.nowNs = 0;
                engine.start();
            }
        }
        if (r.nowNs > ns(script.endMs) && next == script.steps.size())
            break;
        engine.pass(r.nowNs);
    }
}

// The event driver: it sleeps until the next step or the engine's deadline, whichever comes
// first, and wakes for nothing else.
void events(const Script &script, Recorder &r, std::uint64_t &wakeUps)
{
    firmware::FirmwareEngine engine(r);
    engine.start();
    engine.advanceTo(0);
    std::size_t next = 0;
    wakeUps = 0;
    for (;;) {
        const std::uint64_t deadline = engine.nextDeadlineNs();
        const bool stepFirst =
            next < script.steps.size() && ns(script.steps[next].atMs) <= deadline;
        const std::uint64_t wake = stepFirst ? ns(script.steps[next].atMs) : deadline;
        if (!stepFirst && next == script.steps.size() && wake > ns(script.endMs))
            break;
        ++wakeUps;
        r.nowNs = std::max(r.nowNs, wake);
        engine.advanceTo(r.nowNs);
        if (!stepFirst)
            continue;
        const Step &s = script.steps[next++];
        if (s.kind == Step::Bytes) {
            engine.ReciveData(s.bytes.data(), s.bytes.size());
        } else if (s.kind == Step::Input) {
            if (r.setInput(s.bit, s.on))
                engine.noteInputsChanged();
        } else {
            ++r.run;
            r.nowNs = 0;
            engine.start();
        }
        engine.advanceTo(r.nowNs);
    }
}

std::vector<Script> scripts()
{
    // Steps sit between ticks (x.123 ms), where the two drivers cannot disagree about whether
    // a tick came first.
    return {
        {"writes",
         {cmd(1.123, Command::SetOutBit, 0, 3), cmd(2.123, Command::SetOutBit, 0, 3),
          cmd(3.123, Command::ClearOutBit, 0, 3), cmd(4.123, Command::WriteOutWord, 0, 0, 0xF0F0),
          cmd(5.123, Command::SetOutBit, 1, 3), cmd(6.123, Command::SetOutBit, 0, 40),
          cmd(7.123, Command::WriteOutWord, 0, 0, 0)},
         20},
        {"reads and status codes",
         {cmd(1.123, Command::ReadGroup), cmd(2.123, Command::ReportGroup),
          cmd(3.123, Command::Refresh), cmd(4.123, Command::BlankQuery, 0x5C),
          cmd(5.123, Command::SetStatus7), frame(6.123, CommandFrame{12, 1, 0, 0, 0}),
          cmd(7.123, Command::SetStatus3), cmd(2600.123, Command::ReportGroup)},
         2700},
        {"heartbeats while idle", {}, 7100},
        {"inputs scanned",
         {input(10.323, 5, true), input(11.123, 5, false), input(30.723, 31, true),
          input(31.123, 2, true), cmd(31.623, Command::Refresh), input(2500.123, 31, false)},
         2600},
        {"delayed switch-off",
         {cmd(1.123, Command::DelayOff100ms, 3), cmd(400.123, Command::DelayOff500ms, 1),
          cmd(600.123, Command::DelayOff100ms, 2), cmd(1200.123, Command::DelayOff1s, 0),
          cmd(1500.123, Command::ClearOutBit, 0, 0), cmd(1600.123, Command::DelayOff100ms, 9),
          cmd(1700.123, Command::CancelDelayOff), cmd(1800.123, Command::DelayOff100ms, 1),
          cmd(1850.123, Command::StopAll)},
         2500},
        {"pulse trains",
         {frame(1.123, CommandFrame::makePulser(0x82, 3, 10, 15, 5, 7)),
          frame(2.123, CommandFrame::makePulser(0x00, 0xFFFF, 7, 3, 0, 8)),
          frame(90.123, CommandFrame::makePulser(0x05, 2, 0, 0, 20, 9)),
          cmd(300.123, Command::StopAll),
          frame(400.123, CommandFrame::makePulser(0xFF, 4, 25, 25, 1000, 10)),
          frame(1600.123, CommandFrame::makePulser(0x0F, 0, 0, 0, 0, 11))},
         4300},
        {"restart keeps outputs and trains",
         {cmd(1.123, Command::SetOutBit, 0, 9),
          frame(2.123, CommandFrame::makePulser(0x83, 0xFFFF, 20, 20, 0, 3)),
          cmd(3.123, Command::DelayOff100ms, 5), restart(50.123), cmd(10.123, Command::ReadGroup),
          input(20.123, 7, true)},
         3010},
        {"bytes one at a time, junk and frames back to back",
         [] {
             std::vector<Step> s;
             const auto w = CommandFrame::make(Command::SetOutBit, 0, 6, 0, 0x31).encode();
             s.push_back({1.123, Step::Bytes, {0x00, 0x42}});
             for (std::size_t i = 0; i < w.size(); ++i)
                 s.push_back({2.123 + double(i) * 0.3, Step::Bytes, {w[i]}});
             std::vector<std::uint8_t> burst;
             for (int n = 0; n < 40; ++n) {
                 const auto f =
                     CommandFrame::make(n % 2 ? Command::ClearOutBit : Command::SetOutBit, 0,
                                        std::uint32_t(n % 32), 0, std::uint8_t(n))
                         .encode();
                 burst.insert(burst.end(), f.begin(), f.end());
             }
             s.push_back({20.123, Step::Bytes, burst});
             return s;
         }(),
         50, 40 * 16 * 0.002},
    };
}

} // namespace

TEST(Drivers, SpinningLoopAndEventDriverSendTheSameFramesAtTheSameTimes)
{
    for (const Script &script : scripts()) {
        SCOPED_TRACE(script.name);
        Recorder a;
        spin(script, a);
        Recorder b;
        std::uint64_t wakeUps = 0;
        events(script, b, wakeUps);
        ASSERT_EQ(a.frames.size(), b.frames.size());
        ASSERT_GT(a.frames.size(), 1u);
        for (std::size_t i = 0; i < a.frames.size(); ++i) {
            SCOPED_TRACE("frame " + std::to_string(i));
            EXPECT_EQ(a.frames[i].bytes, b.frames[i].bytes);
            // The spinning loop takes 16 passes for a command the event driver takes at once,
            // and sees a tick up to one pass late.
            const auto ta = std::int64_t(a.frames[i].atNs);
            const auto tb = std::int64_t(b.frames[i].atNs);
            EXPECT_LE(tb - ta, 40000) << ta << " vs " << tb;
            EXPECT_LE(ta - tb, 40000 + std::int64_t(ns(script.burstMs))) << ta << " vs " << tb;
        }
        EXPECT_EQ(a.edges, b.edges);
        EXPECT_EQ(a.outputs(), b.outputs());
    }
}

TEST(Drivers, IdleCardWakesOnlyForItsHeartbeat)
{
    std::uint64_t wakeUps = 0;
    Recorder r;
    events({"idle", {}, 60000}, r, wakeUps);
    // The restart report, then one heartbeat every 2 s.
    EXPECT_EQ(r.frames.size(), 1u + 30u);
    EXPECT_LE(wakeUps, 31u);
}

TEST(Drivers, DeadlineIsNeverLaterThanTheNextThingTheCardDoes)
{
    // Whatever the state, running the spinning loop up to the deadline sends nothing and
    // drives nothing before it.
    const Script script = scripts()[5]; // pulse trains: the densest schedule
    Recorder r;
    firmware::FirmwareEngine engine(r);
    engine.start();
    std::size_t next = 0;
    for (int rounds = 0; rounds < 400; ++rounds) {
        const std::uint64_t deadline = engine.nextDeadlineNs();
        const std::size_t framesBefore = r.frames.size();
        const std::size_t edgesBefore = r.edges.size();
        for (std::uint64_t t = r.nowNs; t + 2000 < deadline; t += 2000)
            engine.pass(t);
        EXPECT_EQ(r.frames.size(), framesBefore) << "round " << rounds;
        EXPECT_EQ(r.edges.size(), edgesBefore) << "round " << rounds;
        r.nowNs = std::max(r.nowNs, deadline);
        engine.advanceTo(r.nowNs);
        while (next < script.steps.size() && ns(script.steps[next].atMs) <= r.nowNs) {
            const Step &s = script.steps[next++];
            engine.ReciveData(s.bytes.data(), s.bytes.size());
            engine.advanceTo(r.nowNs);
        }
    }
}
