// What a host's scenario makes its cards do: faults of the link and the card, inputs that move by
// themselves, the host's control lines and scenario files. The host is watched from its own
// thread, by a log hooked before it runs, so that the order of frames, faults and outputs is the
// order they happened in and times are the host's own; the link is watched by a client.
#include "firmware/firmwareengine.h"
#include "simtestsupport.h"
#include "simulator/fixture.h"
#include "simulator/hostcommands.h"
#include "simulator/scenario.h"

#include <algorithm>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace std::chrono_literals;
using namespace kavro::simtest;
using asio::ip::make_address;
using asio::ip::tcp;
using kavro::link::CardFrame;
using kavro::link::CardFrameKind;
using kavro::link::Command;
using kavro::link::CommandFrame;
using kavro::sim::CardHost;
using kavro::sim::Fault;
using kavro::sim::InputBehaviour;
using kavro::sim::Scenario;
using kavro::sim::ScenarioError;

namespace {

using Ms = std::chrono::milliseconds;

struct Event
{
    enum class Type { Frame, Hit, FaultOn, FaultOff, Command, Output };
    Type type = Type::Frame;
    std::size_t card = 0;
    Clock::time_point at;
    std::uint32_t elapsedMs = 0; // the host's clock
    std::uint64_t frame = 0;     // Frame, Hit: the card's frame number
    CardFrame decoded;           // Frame
    std::string what;            // Hit
    Fault::Kind kind = Fault::Kind::Drop;
    int number = 0; // Command: its code; Output: the bit
    bool on = false;
};

// Everything the host does that a test asks about, in the order its thread did it. Hooked
// before the host runs and read through HostThread::call, so it lives on the host's thread.
class HostLog
{
public:
    void hook(CardHost &h)
    {
        CardHost *host = &h;
        for (std::size_t i = 0; i < h.cardCount(); ++i) {
            auto &card = h.card(i);
            card.sim.onFrame = [this, host, i,
                                forward = card.sim.onFrame](const kavro::link::CardWireFrame &w) {
                Event e = make(*host, Event::Type::Frame, i);
                e.frame = host->card(i).server.framesSent() + 1;
                if (const auto f = CardFrame::decode(w.data()))
                    e.decoded = *f;
                events.push_back(e);
                forward(w);
            };
            card.server.onCommand = [this, host, i,
                                     forward = card.server.onCommand](std::uint8_t code) {
                Event e = make(*host, Event::Type::Command, i);
                e.number = code;
                events.push_back(e);
                forward(code);
            };
        }
        h.onFault = [this, host](std::size_t card, Fault::Kind kind, bool on) {
            Event e = make(*host, on ? Event::Type::FaultOn : Event::Type::FaultOff, card);
            e.kind = kind;
            events.push_back(e);
        };
        h.onFaultHit = [this, host](std::size_t card, const char *what, std::uint64_t frame) {
            Event e = make(*host, Event::Type::Hit, card);
            e.what = what;
            e.frame = frame;
            events.push_back(e);
        };
        h.onOutput = [this, host](std::size_t card, int bit, bool on) {
            Event e = make(*host, Event::Type::Output, card);
            e.number = bit;
            e.on = on;
            events.push_back(e);
        };
    }

    std::vector<Event> events;

private:
    static Event make(const CardHost &host, Event::Type type, std::size_t card)
    {
        Event e;
        e.type = type;
        e.card = card;
        e.at = Clock::now();
        e.elapsedMs = host.elapsedMs();
        return e;
    }
};

std::optional<std::size_t> findEvent(const std::vector<Event> &log,
                                     const std::function<bool(const Event &)> &match,
                                     std::size_t from = 0)
{
    for (std::size_t i = from; i < log.size(); ++i)
        if (match(log[i]))
            return i;
    return std::nullopt;
}

std::function<bool(const Event &)> faultEvent(Event::Type type, Fault::Kind kind)
{
    return [type, kind](const Event &e) { return e.type == type && e.kind == kind; };
}

bool isReport(const CardFrame &f)
{
    return f.kind() == CardFrameKind::GroupReport;
}

bool isWordReport(const CardFrame &f, std::uint32_t word)
{
    return isReport(f) && f.outputWord() == word;
}

std::string describe(const CardFrame &f)
{
    std::ostringstream s;
    s << "kind " << int(f.kind()) << " seq " << int(f.sequence) << " status " << int(f.status)
      << " in " << std::hex << f.inputWord() << " out " << f.outputWord();
    return s.str();
}

// The edges of an input as the card reported them, from log index from on.
struct Edge
{
    std::uint32_t elapsedMs;
    Clock::time_point at;
    bool on;
};

std::vector<Edge> inputEdges(const std::vector<Event> &log, std::size_t card, int bit,
                             bool level = false, std::size_t from = 0)
{
    std::vector<Edge> edges;
    for (std::size_t i = from; i < log.size(); ++i) {
        const Event &e = log[i];
        if (e.type != Event::Type::Frame || e.card != card || !isReport(e.decoded))
            continue;
        const bool now = (e.decoded.inputWord() >> bit) & 1u;
        if (now != level)
            edges.push_back({e.elapsedMs, e.at, now});
        level = now;
    }
    return edges;
}

// Faults

constexpr std::uint32_t kStartMark = 0x5EED0001u;
constexpr std::uint32_t kEndMark = 0x5EED0002u;

// One card with a log and a client; a fault is armed once the client has seen the start mark.
class FaultRig
{
public:
    FaultRig()
    {
        const std::string error =
            host.open(loopbackHost(1), nullptr, [this](CardHost &h) { watch.hook(h); });
        if (!error.empty())
            throw std::runtime_error(error);
        client.connect(host.endpoint(0));
        if (!runUntil(io, [this] { return host.clients(0) == 1; }))
            throw std::runtime_error("the card did not take the client");
    }

    std::vector<Event> events()
    {
        return host.call([this](CardHost &) { return watch.events; });
    }

    void waitLog(const std::function<bool(const Event &)> &match, std::size_t from = 0)
    {
        ASSERT_TRUE(runUntil(io, [&] { return findEvent(events(), match, from).has_value(); }));
    }

    // A unique counted report, seen by the client.
    void mark(std::uint32_t word)
    {
        client.send(writeWord(word));
        ASSERT_TRUE(runUntil(io, [&] {
            return std::any_of(client.frames.begin(), client.frames.end(),
                               [word](const auto &a) { return isWordReport(a.frame, word); });
        }));
    }

    // Triggers count from now: atMs from the host's clock, afterFrames from the frames so far.
    Fault arm(Fault f)
    {
        return host.call([f](CardHost &h) {
            Fault armed = f;
            if (armed.atMs)
                *armed.atMs += h.elapsedMs();
            if (armed.afterFrames)
                *armed.afterFrames += h.card(0).server.framesSent();
            h.addFault(0, armed);
            return armed;
        });
    }

    // Sends a command and waits until the card has taken it, its answer logged before.
    void exchange(const CommandFrame &c)
    {
        const std::size_t from = events().size();
        client.send(c);
        waitLog(
            [&](const Event &e) { return e.type == Event::Type::Command && e.number == c.code; },
            from);
    }

    std::size_t clientReports(const LinkClient &c) const
    {
        return std::size_t(std::count_if(c.frames.begin(), c.frames.end(),
                                         [](const auto &a) { return isReport(a.frame); }));
    }

    // The first fault began only when its trigger said, and touched no frame before.
    void expectTriggerKept(const Fault &armed)
    {
        const auto log = events();
        const auto on =
            findEvent(log, [](const Event &e) { return e.type == Event::Type::FaultOn; });
        ASSERT_TRUE(on) << "the fault never began";
        std::uint64_t lastFrame = 0;
        std::optional<std::size_t> command;
        for (std::size_t i = 0; i < *on; ++i) {
            const Event &e = log[i];
            EXPECT_NE(e.type, Event::Type::Hit) << "frame " << e.frame << " hit before the fault";
            if (e.type == Event::Type::Frame)
                lastFrame = e.frame;
            if (e.type == Event::Type::Command && armed.onCommand && e.number == *armed.onCommand)
                command = i;
        }
        if (armed.atMs) {
            EXPECT_GE(log[*on].elapsedMs, *armed.atMs);
        }
        if (armed.afterFrames) {
            EXPECT_GE(lastFrame, *armed.afterFrames);
        }
        if (armed.onCommand) {
            EXPECT_TRUE(command) << "began before command " << int(*armed.onCommand);
        }
    }

    // With the faults ended, the client has had from the start mark to the end mark exactly what
    // the card sent, as the faults the host logged changed it: silenced and corrupted frames
    // gone, duplicated ones twice.
    void expectDeliveredAsSent()
    {
        host.call([](CardHost &h) { h.faultsOff(0); });
        mark(kEndMark);
        const auto log = events();
        std::vector<CardFrame> expected;
        bool inside = false;
        for (std::size_t i = 0; i < log.size(); ++i) {
            const Event &e = log[i];
            if (e.type != Event::Type::Frame)
                continue;
            inside = inside || isWordReport(e.decoded, kStartMark);
            if (!inside)
                continue;
            int copies = 1;
            for (std::size_t k = i + 1;
                 k < log.size() && log[k].type == Event::Type::Hit && log[k].frame == e.frame; ++k)
                copies = log[k].what == "duplicate" ? copies * 2 : 0;
            expected.insert(expected.end(), std::size_t(copies), e.decoded);
            if (isWordReport(e.decoded, kEndMark))
                break;
        }
        std::vector<CardFrame> got;
        inside = false;
        for (const auto &a : client.frames) {
            inside = inside || isWordReport(a.frame, kStartMark);
            if (inside)
                got.push_back(a.frame);
            if (isWordReport(a.frame, kEndMark))
                break;
        }
        ASSERT_FALSE(expected.empty());
        const auto first = std::mismatch(expected.begin(), expected.end(), got.begin(), got.end());
        EXPECT_TRUE(first.first == expected.end() && first.second == got.end())
            << "frame " << (first.first - expected.begin()) << " of " << expected.size()
            << " sent, " << got.size() << " received: expected "
            << (first.first == expected.end() ? "none" : describe(*first.first)) << ", got "
            << (first.second == got.end() ? "none" : describe(*first.second));
    }

    HostLog watch; // before host: outlives its thread
    HostThread host;
    asio::io_context io;
    LinkClient client{io};
};

// The frames of the log hit by what, and every frame of the card from the fault's start to its
// end (or the log's) whose number is a multiple of every.
struct Hits
{
    std::vector<std::uint64_t> hit;
    std::vector<std::uint64_t> due;
};

Hits hitsOf(const std::vector<Event> &log, const char *what, std::uint32_t every)
{
    Hits h;
    bool on = false;
    for (const Event &e : log) {
        if (e.type == Event::Type::FaultOn)
            on = true;
        if (e.type == Event::Type::FaultOff)
            on = false;
        if (e.type == Event::Type::Hit && e.what == what)
            h.hit.push_back(e.frame);
        if (e.type == Event::Type::Frame && on && e.frame % every == 0)
            h.due.push_back(e.frame);
    }
    return h;
}

Fault makeFault(Fault::Kind kind, const std::function<void(Fault &)> &change = {})
{
    Fault f;
    f.kind = kind;
    if (change)
        change(f);
    return f;
}

struct FaultRow
{
    const char *name;
    // Its trigger counts from the moment it is armed.
    Fault fault;
    // Drives the link while the fault is armed and checks what the fault must do.
    std::function<void(FaultRig &, const Fault &armed)> show;
};

void PrintTo(const FaultRow &row, std::ostream *os)
{
    *os << row.name;
}

class Faults : public ::testing::TestWithParam<FaultRow>
{
};

TEST_P(Faults, DoWhatTheySayWhenTheirTriggerSays)
{
    FaultRig rig;
    rig.mark(kStartMark);
    if (HasFatalFailure())
        return;
    const Fault armed = rig.arm(GetParam().fault);
    GetParam().show(rig, armed);
    if (HasFatalFailure())
        return;
    rig.expectTriggerKept(armed);
}

const FaultRow kFaultRows[] = {
    {"DropOnCommand9", makeFault(Fault::Kind::Drop, [](Fault &f) { f.onCommand = 9; }),
     [](FaultRig &r, const Fault &) {
         const std::size_t start = r.clientReports(r.client);
         r.client.send(CommandFrame::make(Command::ReadGroup));
         ASSERT_TRUE(runUntil(r.io, [&] { return r.clientReports(r.client) > start; }));
         EXPECT_EQ(r.host.clients(0), 1u) << "dropped on command 7";
         const std::size_t before = r.clientReports(r.client);
         r.client.send(CommandFrame::make(Command::Refresh));
         ASSERT_TRUE(runUntil(r.io, [&] { return r.client.ended; }));
         EXPECT_EQ(r.clientReports(r.client), before + 1) << "the answer to 9 before the drop";
         ASSERT_TRUE(runUntil(r.io, [&] { return r.host.clients(0) == 0; }));

         // A new connection works, and the drop fired once: another 9 leaves it up.
         LinkClient again(r.io);
         again.connect(r.host.endpoint(0));
         for (const Command c : {Command::Refresh, Command::ReadGroup}) {
             const std::size_t n = r.clientReports(again);
             again.send(CommandFrame::make(c));
             ASSERT_TRUE(runUntil(r.io, [&] { return r.clientReports(again) > n; }));
         }
         EXPECT_FALSE(again.ended);
         EXPECT_EQ(r.host.clients(0), 1u);
     }},
    {"RefuseAtATimeForAWhile",
     makeFault(Fault::Kind::Refuse,
               [](Fault &f) {
                   f.atMs = 300;
                   f.forMs = 600;
               }),
     [](FaultRig &r, const Fault &f) {
         struct Attempt
         {
             Clock::time_point begin, end;
             bool accepted;
         };
         std::vector<Attempt> attempts;
         const tcp::endpoint at = r.host.endpoint(0);
         std::optional<Clock::time_point> off;
         const auto deadline = Clock::now() + kTimeout;
         while ((!off || attempts.back().begin <= *off) && Clock::now() < deadline) {
             tcp::socket probe(r.io);
             std::error_code ec;
             Attempt a;
             a.begin = Clock::now();
             probe.connect(at, ec);
             a.end = Clock::now();
             a.accepted = !ec;
             attempts.push_back(a);
             probe.close(ec);
             runFor(r.io, 20ms);
             const auto log = r.events();
             if (const auto i = findEvent(log, faultEvent(Event::Type::FaultOff, f.kind)))
                 off = log[*i].at;
         }
         ASSERT_TRUE(off) << "the refusal never ended";
         const auto log = r.events();
         const Clock::time_point on =
             log[*findEvent(log, faultEvent(Event::Type::FaultOn, f.kind))].at;
         // The listener reopens no sooner than for_ms after it closed.
         int during = 0;
         int after = 0;
         for (const Attempt &a : attempts) {
             if (a.end < on) {
                 EXPECT_TRUE(a.accepted) << "refused before the fault";
             } else if (a.begin > on && a.end < on + Ms(f.forMs)) {
                 EXPECT_FALSE(a.accepted) << "accepted while refusing";
                 ++during;
             } else if (a.begin > *off) {
                 EXPECT_TRUE(a.accepted) << "refused after the fault";
                 ++after;
             }
         }
         EXPECT_GT(during, 0);
         EXPECT_GT(after, 0);
     }},
    // Longer than a heartbeat's period, so that one falls inside.
    {"SilentAtATimeForAWhile",
     makeFault(Fault::Kind::Silent,
               [](Fault &f) {
                   f.atMs = 200;
                   f.forMs = 2600;
               }),
     [](FaultRig &r, const Fault &f) {
         r.waitLog(faultEvent(Event::Type::FaultOn, f.kind));
         for (int i = 0; i < 3; ++i)
             r.client.send(CommandFrame::make(Command::ReadGroup));
         r.waitLog(faultEvent(Event::Type::FaultOff, f.kind));
         const std::size_t before = r.clientReports(r.client);
         r.client.send(CommandFrame::make(Command::ReadGroup));
         ASSERT_TRUE(runUntil(r.io, [&] { return r.clientReports(r.client) > before; }))
             << "no frames after the silence";

         const auto log = r.events();
         const std::size_t on = *findEvent(log, faultEvent(Event::Type::FaultOn, f.kind));
         const std::size_t off = *findEvent(log, faultEvent(Event::Type::FaultOff, f.kind));
         int heartbeats = 0;
         int answers = 0;
         for (std::size_t i = on; i < off; ++i) {
             if (log[i].type != Event::Type::Frame)
                 continue;
             heartbeats += log[i].decoded.kind() == CardFrameKind::Heartbeat;
             answers += isReport(log[i].decoded);
             const bool hit = i + 1 < log.size() && log[i + 1].type == Event::Type::Hit &&
                              log[i + 1].what == "silent" && log[i + 1].frame == log[i].frame;
             EXPECT_TRUE(hit) << "frame " << log[i].frame << " left while silent";
         }
         EXPECT_GT(heartbeats, 0);
         EXPECT_GT(answers, 0);
         r.expectDeliveredAsSent();
     }},
    {"DelayEveryFrame", makeFault(Fault::Kind::Delay, [](Fault &f) { f.delayMs = 150; }),
     [](FaultRig &r, const Fault &f) {
         const std::size_t from = r.client.frames.size();
         for (std::uint32_t w = 1; w <= 5; ++w)
             r.client.send(writeWord(w));
         ASSERT_TRUE(runUntil(r.io, [&] {
             return std::any_of(r.client.frames.begin() + std::ptrdiff_t(from),
                                r.client.frames.end(),
                                [](const auto &a) { return isWordReport(a.frame, 5); });
         }));
         const auto log = r.events();
         std::vector<std::uint32_t> order;
         for (std::size_t i = from; i < r.client.frames.size(); ++i) {
             const auto &a = r.client.frames[i];
             if (!isReport(a.frame))
                 continue;
             order.push_back(a.frame.outputWord());
             const auto sent = findEvent(log, [&](const Event &e) {
                 return e.type == Event::Type::Frame && e.decoded == a.frame;
             });
             ASSERT_TRUE(sent);
             EXPECT_GE(a.at - log[*sent].at, Ms(f.delayMs)) << "word " << a.frame.outputWord();
         }
         EXPECT_EQ(order, (std::vector<std::uint32_t>{1, 2, 3, 4, 5}));
         r.expectDeliveredAsSent();
     }},
    {"CorruptEveryThirdAfterFourFrames",
     makeFault(Fault::Kind::Corrupt,
               [](Fault &f) {
                   f.afterFrames = 4;
                   f.every = 3;
               }),
     [](FaultRig &r, const Fault &) {
         // One at a time, so that the fault begins right after its frame.
         for (std::uint32_t w = 1; w <= 14; ++w)
             r.exchange(writeWord(w));
         r.expectDeliveredAsSent();
         const Hits h = hitsOf(r.events(), "corrupt", 3);
         EXPECT_GE(h.hit.size(), 3u);
         EXPECT_EQ(h.hit, h.due);
         // The reader skipped exactly those frames, trailer and all.
         EXPECT_EQ(r.client.skipped(), h.hit.size() * kavro::link::kCardFrameWire);
     }},
    {"DuplicateEverySecondOnCommand7",
     makeFault(Fault::Kind::Duplicate,
               [](Fault &f) {
                   f.onCommand = 7;
                   f.every = 2;
               }),
     [](FaultRig &r, const Fault &) {
         r.exchange(writeWord(1));
         r.exchange(CommandFrame::make(Command::ReadGroup));
         for (std::uint32_t w = 2; w <= 8; ++w)
             r.exchange(writeWord(w));
         r.expectDeliveredAsSent();
         const Hits h = hitsOf(r.events(), "duplicate", 2);
         EXPECT_GE(h.hit.size(), 3u);
         EXPECT_EQ(h.hit, h.due);
     }},
    {"BytewiseFramesStillDecode", makeFault(Fault::Kind::Bytewise),
     [](FaultRig &r, const Fault &) {
         // Until a read has ended inside a frame, which shows the bytes came apart.
         std::uint32_t w = 0;
         while (!r.client.midFrameRead && w < 500) {
             r.client.send(writeWord(++w));
             ASSERT_TRUE(runUntil(r.io, [&] {
                 return !r.client.counted.empty() && r.client.counted.back().outputWord() == w;
             }));
         }
         EXPECT_TRUE(r.client.midFrameRead);
         EXPECT_EQ(r.client.skipped(), 0u);
         r.expectDeliveredAsSent();
     }},
    {"StallForAWhile", makeFault(Fault::Kind::Stall, [](Fault &f) { f.forMs = 800; }),
     [](FaultRig &r, const Fault &f) {
         struct State
         {
             std::uint64_t received;
             std::uint32_t outputs;
             bool over;
         };
         const auto state = [&] {
             return r.host.call([&r, kind = f.kind](CardHost &h) {
                 return State{h.card(0).sim.bytesReceived(), h.card(0).sim.outputs(),
                              findEvent(r.watch.events, faultEvent(Event::Type::FaultOff, kind))
                                  .has_value()};
             });
         };
         const State before = state();
         ASSERT_FALSE(before.over);
         const std::size_t from = r.client.counted.size();
         for (std::uint32_t w = 1; w <= 20; ++w)
             r.client.send(writeWord(w));
         for (int i = 0; i < 10; ++i) {
             runFor(r.io, 30ms);
             const State now = state();
             if (now.over)
                 break;
             EXPECT_EQ(now.received, before.received) << "read while stalled";
             EXPECT_EQ(now.outputs, before.outputs) << "executed while stalled";
         }
         ASSERT_TRUE(runUntil(r.io, [&] {
             return r.client.counted.size() >= from + 20 ||
                    (!r.client.counted.empty() && r.client.counted.back().outputWord() == 20);
         }));
         std::vector<std::uint32_t> words;
         for (std::size_t i = from; i < r.client.counted.size(); ++i)
             words.push_back(r.client.counted[i].outputWord());
         EXPECT_EQ(words, (std::vector<std::uint32_t>{1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                                                      11, 12, 13, 14, 15, 16, 17, 18, 19, 20}));
         r.expectDeliveredAsSent();
     }},
    {"RestartAtATime", makeFault(Fault::Kind::Restart, [](Fault &f) { f.atMs = 300; }),
     [](FaultRig &r, const Fault &f) {
         constexpr std::uint32_t kWord = 0xA5u;
         r.exchange(writeWord(kWord));
         r.waitLog(faultEvent(Event::Type::FaultOn, f.kind));
         // The restart runs before the host logs the fault: from the last command to then no
         // output moved, and the card reported them as they were, its count back at 0.
         const auto log = r.events();
         const std::size_t on = *findEvent(log, faultEvent(Event::Type::FaultOn, f.kind));
         std::size_t i = on;
         while (i > 0 && log[i].type != Event::Type::Command)
             --i;
         bool reported = false;
         for (; i < on; ++i) {
             EXPECT_NE(log[i].type, Event::Type::Output) << "bit " << log[i].number;
             reported =
                 reported || (log[i].type == Event::Type::Frame &&
                              isWordReport(log[i].decoded, kWord) && log[i].decoded.sequence == 0);
         }
         EXPECT_TRUE(reported) << "no restart report";
         EXPECT_EQ(r.host.call([](CardHost &h) { return h.card(0).sim.outputs(); }), kWord);
         ASSERT_TRUE(runUntil(r.io, [&] {
             return std::any_of(r.client.frames.begin(), r.client.frames.end(), [](const auto &a) {
                 return isWordReport(a.frame, kWord) && a.frame.sequence == 0;
             });
         }));
         r.exchange(writeWord(kWord | 0x100u));
         ASSERT_TRUE(runUntil(r.io, [&] {
             return !r.client.counted.empty() &&
                    r.client.counted.back().outputWord() == (kWord | 0x100u);
         }));
         EXPECT_EQ(r.client.counted.back().sequence, 1) << "counting starts over";
         r.expectDeliveredAsSent();
     }},
};

INSTANTIATE_TEST_SUITE_P(Simulator, Faults, ::testing::ValuesIn(kFaultRows),
                         [](const auto &row) { return std::string(row.param.name); });

// Inputs

// How late the card may report an edge: its next scan, and twice what the host's thread ran late
// (the fixture's timer, then the card's), with room for the rest of the pass.
Clock::duration edgeSlack(Clock::duration lateness)
{
    return 2 * lateness + Ms(kavro::firmware::FirmwareEngine::ScanMs + 30);
}

InputBehaviour behaviour(InputBehaviour::Kind kind, int input,
                         const std::function<void(InputBehaviour &)> &change)
{
    InputBehaviour b;
    b.kind = kind;
    b.input = input;
    change(b);
    return b;
}

struct TimedRow
{
    const char *name;
    InputBehaviour behaviour; // startMs counts from when it is set, plus kLead
    // Each edge: milliseconds after the start and the level it brings.
    std::vector<std::pair<std::uint32_t, bool>> edges;
    std::uint32_t untilMs; // watched until this long after the start
};

void PrintTo(const TimedRow &row, std::ostream *os)
{
    *os << row.name;
}

class TimedInputs : public ::testing::TestWithParam<TimedRow>
{
};

// Edges come no sooner than the behaviour says and no later than the host's own lateness
// explains. A host so late that edges could merge proves nothing: the row runs again.
TEST_P(TimedInputs, EdgesComeWhenTheBehaviourSays)
{
    constexpr std::uint32_t kLead = 200;
    const TimedRow &row = GetParam();
    Clock::duration minGap = Clock::duration::max();
    for (std::size_t i = 1; i < row.edges.size(); ++i)
        minGap = std::min<Clock::duration>(minGap, Ms(row.edges[i].first - row.edges[i - 1].first));

    Clock::duration lateness{};
    for (int attempt = 0; attempt < 5; ++attempt) {
        HostLog watch;
        HostThread host;
        ASSERT_EQ(host.open(loopbackHost(1), nullptr, [&](CardHost &h) { watch.hook(h); }), "");
        host.watchLateness();
        const auto [start, from] = host.call([&](CardHost &h) {
            InputBehaviour b = row.behaviour;
            const std::uint32_t now = h.elapsedMs();
            b.startMs = now + kLead;
            h.driveInput(0, b);
            return std::pair{b.kind == InputBehaviour::Kind::Fixed ? now : b.startMs,
                             watch.events.size()};
        });
        asio::io_context io;
        ASSERT_TRUE(runUntil(io, [&] {
            return host.call([](CardHost &h) { return h.elapsedMs(); }) >= start + row.untilMs;
        }));
        lateness = host.lateness();
        const Clock::duration slack = edgeSlack(lateness);
        if (slack >= minGap)
            continue;

        auto edges = inputEdges(host.call([&](CardHost &) { return watch.events; }), 0,
                                row.behaviour.input, false, from);
        edges.erase(
            std::remove_if(edges.begin(), edges.end(),
                           [&](const Edge &e) { return e.elapsedMs >= start + row.untilMs; }),
            edges.end());
        const auto slackMs = std::uint32_t(std::chrono::duration_cast<Ms>(slack).count());
        const auto due = [&](std::uint32_t by) {
            return std::size_t(std::count_if(row.edges.begin(), row.edges.end(),
                                             [by](const auto &e) { return e.first < by; }));
        };
        // Edges near the end may still be on their way.
        EXPECT_GE(edges.size(), due(row.untilMs > slackMs ? row.untilMs - slackMs : 0));
        EXPECT_LE(edges.size(), due(row.untilMs));
        for (std::size_t i = 0; i < edges.size() && i < row.edges.size(); ++i) {
            const std::uint32_t expected = start + row.edges[i].first;
            EXPECT_EQ(edges[i].on, row.edges[i].second) << "edge " << i;
            EXPECT_GE(edges[i].elapsedMs, expected) << "edge " << i << " too soon";
            EXPECT_LE(edges[i].elapsedMs, expected + slackMs) << "edge " << i << " too late";
        }
        return;
    }
    GTEST_SKIP() << "the host's thread ran up to "
                 << std::chrono::duration_cast<Ms>(lateness).count() << " ms late in every attempt";
}

const TimedRow kTimedRows[] = {
    {"FixedLevel",
     behaviour(InputBehaviour::Kind::Fixed, 4, [](auto &b) { b.level = true; }),
     {{0, true}},
     400},
    // On for a quarter of each 400 ms.
    {"SquareWave",
     behaviour(InputBehaviour::Kind::Square, 1,
               [](auto &b) {
                   b.periodMs = 400;
                   b.duty = 0.25;
               }),
     {{0, true}, {100, false}, {400, true}, {500, false}, {800, true}, {900, false}},
     1150},
    {"SequenceOnce",
     behaviour(InputBehaviour::Kind::Sequence, 2,
               [](auto &b) {
                   b.steps = {{0, true}, {150, false}, {300, true}};
               }),
     {{0, true}, {150, false}, {300, true}},
     800},
    // Rounds of 450 ms; the last step's level carries into the next round until its first step.
    {"SequenceRepeated",
     behaviour(InputBehaviour::Kind::Sequence, 3,
               [](auto &b) {
                   b.steps = {{150, true}, {300, false}, {450, true}};
                   b.repeat = true;
               }),
     {{150, true}, {300, false}, {450, true}, {750, false}, {900, true}, {1200, false}},
     1300},
};

INSTANTIATE_TEST_SUITE_P(Simulator, TimedInputs, ::testing::ValuesIn(kTimedRows),
                         [](const auto &row) { return std::string(row.param.name); });

struct WireRow
{
    const char *name;
    std::size_t fromCard;
    int output;
    std::size_t toCard;
    int input;
    std::uint32_t delayMs;
};

void PrintTo(const WireRow &row, std::ostream *os)
{
    *os << row.name;
}

class Wires : public ::testing::TestWithParam<WireRow>
{
};

TEST_P(Wires, InputFollowsTheOutputNeverSoonerThanItsDelay)
{
    const WireRow &row = GetParam();
    HostLog watch;
    HostThread host;
    ASSERT_EQ(host.open(loopbackHost(2), nullptr, [&](CardHost &h) { watch.hook(h); }), "");
    host.watchLateness();
    asio::io_context io;
    LinkClient client(io);
    client.connect(host.endpoint(row.fromCard));
    const std::size_t from = host.call([&](CardHost &h) {
        InputBehaviour b;
        b.kind = InputBehaviour::Kind::Wire;
        b.input = row.input;
        b.fromCard = int(row.fromCard);
        b.output = row.output;
        b.delayMs = row.delayMs;
        h.driveInput(row.toCard, b);
        return watch.events.size();
    });
    const auto events = [&] { return host.call([&](CardHost &) { return watch.events; }); };

    for (const bool on : {true, false}) {
        SCOPED_TRACE(on ? "on" : "off");
        const auto sent = Clock::now();
        client.send(writeWord(on ? 1u << row.output : 0u));
        const std::size_t edges = on ? 1 : 2;
        ASSERT_TRUE(runUntil(io, [&] {
            return inputEdges(events(), row.toCard, row.input, false, from).size() >= edges;
        }));
        const auto log = events();
        const Edge edge = inputEdges(log, row.toCard, row.input, false, from)[edges - 1];
        EXPECT_EQ(edge.on, on);
        EXPECT_GE(edge.at - sent, Ms(row.delayMs)) << "sooner than the delay";
        const auto output = findEvent(log, [&](const Event &e) {
            return e.type == Event::Type::Output && e.card == row.fromCard &&
                   e.number == row.output && e.on == on;
        });
        ASSERT_TRUE(output);
        EXPECT_LE(edge.at - log[*output].at, Ms(row.delayMs) + edgeSlack(host.lateness()));
    }
    // Nothing else moved the input.
    runFor(io, 100ms);
    EXPECT_EQ(inputEdges(events(), row.toCard, row.input, false, from).size(), 2u);
}

const WireRow kWireRows[] = {
    {"SameCard", 0, 5, 0, 5, 50},
    {"OtherCard", 0, 7, 1, 3, 80},
};

INSTANTIATE_TEST_SUITE_P(Simulator, Wires, ::testing::ValuesIn(kWireRows),
                         [](const auto &row) { return std::string(row.param.name); });

// Control lines

class ControlLines : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(host.open(loopbackHost(2), nullptr, [this](CardHost &h) { watch.hook(h); }), "");
        client.connect(host.endpoint(0));
        ASSERT_TRUE(runUntil(io, [this] { return host.clients(0) == 1; }));
    }

    std::string run(const std::string &line)
    {
        auto [error, lines, at] = host.call([line](CardHost &h) {
            std::vector<std::string> out;
            const std::uint32_t now = h.elapsedMs();
            std::string e =
                runHostCommand(h, line, [&out](const std::string &text) { out.push_back(text); });
            return std::tuple{e, out, now};
        });
        printed = lines;
        ranAtMs = at;
        return error;
    }

    std::vector<Event> events()
    {
        return host.call([this](CardHost &) { return watch.events; });
    }
    bool input(std::size_t card, int bit)
    {
        return host.call([=](CardHost &h) { return h.card(card).sim.input(bit); });
    }
    bool refusing(std::size_t card)
    {
        return host.call([=](CardHost &h) { return h.card(card).server.refusing(); });
    }
    bool connects(std::size_t card)
    {
        tcp::socket s(io);
        std::error_code ec;
        s.connect(host.endpoint(card), ec);
        return !ec;
    }
    std::size_t count(const std::function<bool(const Event &)> &match, std::size_t from = 0)
    {
        const auto log = events();
        return std::size_t(std::count_if(log.begin() + std::ptrdiff_t(from), log.end(), match));
    }
    // The reports that reach the client, after a read the card answers.
    void roundTrip()
    {
        const std::size_t n = client.readBacks.size() + client.counted.size();
        client.send(CommandFrame::make(Command::ReadGroup));
        ASSERT_TRUE(
            runUntil(io, [&] { return client.readBacks.size() + client.counted.size() > n; }));
    }

    HostLog watch;
    HostThread host;
    asio::io_context io;
    LinkClient client{io};
    std::vector<std::string> printed;
    std::uint32_t ranAtMs = 0; // the host's clock just before the last line
};

// In order, on one host: later lines build on earlier ones.
TEST_F(ControlLines, GoodLinesDoWhatTheySay)
{
    struct Row
    {
        const char *line;
        std::function<void(std::size_t logFrom)> check; // the log before the line
    };
    const auto edgesOf = [this](std::size_t card, int bit, std::size_t from) {
        return inputEdges(events(), card, bit, false, from);
    };
    // A wave from the line on, an edge every stepMs, on first: none sooner than its time.
    const auto expectWave = [&](std::size_t card, int bit, std::size_t from, std::uint32_t stepMs) {
        const std::uint32_t start = ranAtMs;
        ASSERT_TRUE(runUntil(io, [&] { return edgesOf(card, bit, from).size() >= 4; }));
        const auto edges = edgesOf(card, bit, from);
        for (std::size_t k = 0; k < edges.size(); ++k) {
            EXPECT_EQ(edges[k].on, k % 2 == 0) << "edge " << k;
            EXPECT_GE(edges[k].elapsedMs, start + k * stepMs) << "edge " << k;
        }
    };
    const std::vector<Row> rows = {
        {"in 1 4 1",
         [&](std::size_t) {
             EXPECT_TRUE(input(1, 4));
             EXPECT_FALSE(input(0, 4));
         }},
        {"in 6 1", [&](std::size_t) { EXPECT_TRUE(input(0, 6)); }},
        {"stats 1",
         [&](std::size_t) {
             ASSERT_EQ(printed.size(), 1u);
             EXPECT_EQ(printed[0].rfind("stats 1 received ", 0), 0u) << printed[0];
         }},
        {"fault 0 silent 300",
         [&](std::size_t from) {
             ASSERT_TRUE(runUntil(io, [&] {
                 return count(faultEvent(Event::Type::FaultOff, Fault::Kind::Silent), from) > 0;
             }));
             const auto log = events();
             const auto on =
                 findEvent(log, faultEvent(Event::Type::FaultOn, Fault::Kind::Silent), from);
             const auto off =
                 findEvent(log, faultEvent(Event::Type::FaultOff, Fault::Kind::Silent), from);
             ASSERT_TRUE(on && off);
             EXPECT_GE(log[*off].at - log[*on].at, 300ms);
         }},
        {"wire 0 out 5 in 5 10",
         [&](std::size_t from) {
             const auto sent = Clock::now();
             client.send(writeWord(1u << 5));
             ASSERT_TRUE(runUntil(io, [&] { return !edgesOf(0, 5, from).empty(); }));
             EXPECT_GE(edgesOf(0, 5, from)[0].at - sent, 10ms);
         }},
        {"wire 0 out 6 1 in 2",
         [&](std::size_t from) {
             client.send(writeWord(1u << 5 | 1u << 6));
             ASSERT_TRUE(runUntil(io, [&] { return !edgesOf(1, 2, from).empty(); }));
             EXPECT_TRUE(edgesOf(1, 2, from)[0].on);
             EXPECT_FALSE(input(0, 2));
         }},
        {"square 1 7 200 0.5", [&](std::size_t from) { expectWave(1, 7, from, 100); }},
        // Rounds of 200 ms: on at 0, off at 100, on again as the next round begins.
        {"sequence 0 8 0:1,100:0,200:1 repeat",
         [&](std::size_t from) { expectWave(0, 8, from, 100); }},
        {"release 0 8",
         [&](std::size_t) {
             // The level it had stays; a running sequence would change it within 100 ms.
             const bool level = input(0, 8);
             for (int i = 0; i < 10; ++i) {
                 runFor(io, 50ms);
                 EXPECT_EQ(input(0, 8), level);
             }
         }},
        {"fault 1 refuse 0",
         [&](std::size_t) {
             EXPECT_TRUE(refusing(1));
             EXPECT_FALSE(connects(1));
             EXPECT_TRUE(connects(0));
         }},
        {"fault 1 off",
         [&](std::size_t) {
             EXPECT_FALSE(refusing(1));
             EXPECT_TRUE(connects(1));
         }},
        {"fault 0 silent 0",
         [&](std::size_t from) {
             client.send(CommandFrame::make(Command::ReadGroup));
             ASSERT_TRUE(runUntil(io, [&] {
                 return count([](const Event &e) { return e.type == Event::Type::Hit; }, from) > 0;
             }));
             runFor(io, 400ms);
             EXPECT_EQ(count(faultEvent(Event::Type::FaultOff, Fault::Kind::Silent), from), 0u);
         }},
        {"fault 0 off",
         [&](std::size_t from) {
             EXPECT_EQ(count(faultEvent(Event::Type::FaultOff, Fault::Kind::Silent), from), 1u);
             // Only what was on is reported ended.
             EXPECT_EQ(count([](const Event &e) { return e.type == Event::Type::FaultOff; }, from),
                       1u);
             roundTrip();
         }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.line);
        const std::size_t from = events().size();
        ASSERT_EQ(run(row.line), "");
        row.check(from);
        if (HasFatalFailure())
            return;
    }
}

// A line the host cannot carry out says what is wrong and leaves the cards as they were.
TEST_F(ControlLines, BadLinesNameTheProblemAndChangeNothing)
{
    struct State
    {
        std::uint32_t inputs[2];
        std::uint32_t outputs[2];
        bool refusing[2];
        std::size_t faultEvents;
        bool operator==(const State &o) const
        {
            return std::equal(std::begin(inputs), std::end(inputs), std::begin(o.inputs)) &&
                   std::equal(std::begin(outputs), std::end(outputs), std::begin(o.outputs)) &&
                   std::equal(std::begin(refusing), std::end(refusing), std::begin(o.refusing)) &&
                   faultEvents == o.faultEvents;
        }
    };
    const auto state = [this] {
        return host.call([this](CardHost &h) {
            State s{};
            for (std::size_t i = 0; i < 2; ++i) {
                s.inputs[i] = h.card(i).sim.inputs();
                s.outputs[i] = h.card(i).sim.outputs();
                s.refusing[i] = h.card(i).server.refusing();
            }
            s.faultEvents = std::size_t(
                std::count_if(watch.events.begin(), watch.events.end(), [](const Event &e) {
                    return e.type == Event::Type::FaultOn || e.type == Event::Type::FaultOff;
                }));
            return s;
        });
    };
    const std::pair<const char *, const char *> rows[] = {
        {"in 0 32 1", "bad input: 32"},
        {"in 2 4 1", "bad card: 2"},
        {"in 0 4 2", "bad level: 2"},
        {"square 0 1 1", "bad period: 1"},
        {"square 0 1 100 1.5", "bad duty: 1.5"},
        {"square 0 1 100 0.5x", "bad duty: 0.5x"},
        {"sequence 0 2 100:1,50:0", "bad step: 50:0"},
        {"sequence 0 2 0:1 repeat", "bad sequence: 0:1"},
        {"sequence 0 2 0:1,100:2", "bad step: 100:2"},
        {"wire 0 out 5 in 5 x", "bad delay: x"},
        {"wire 0 out 32 in 5", "bad output: 32"},
        {"wire 0 out 5 3 in 5", "bad card: 3"},
        {"wire 0 out 5 in 5 10 11", "wire FROM out BIT"},
        {"release 0", "unknown command"},
        {"fault 2 drop", "bad card: 2"},
        {"fault 0 melt", "unknown fault melt"},
        {"fault 0 silent", "fault silent MS"},
        {"fault 0 refuse -1", "bad milliseconds: -1"},
        {"fault 0 delay 0", "fault delay MS"},
        {"fault 0 corrupt 0", "fault corrupt N"},
        {"fault 0 drop now", "takes nothing more"},
        {"fault 0 bytewise 10 20", "fault bytewise"},
        {"bogus 1", "unknown command"},
    };
    runFor(io, 50ms);
    for (const auto &[line, names] : rows) {
        SCOPED_TRACE(line);
        const State before = state();
        const std::string error = run(line);
        EXPECT_NE(error.find(names), std::string::npos) << error;
        // Long enough for a wrongly started wave, sequence or fault to show.
        runFor(io, 30ms);
        EXPECT_TRUE(state() == before);
    }
}

// "fault CARD off" ends what runs and forgets what waits: an armed fault never begins, and no
// timer of an earlier fault ends a later one.
TEST_F(ControlLines, FaultOffForgetsArmedFaults)
{
    host.call([](CardHost &h) {
        Fault refuse;
        refuse.kind = Fault::Kind::Refuse;
        refuse.atMs = h.elapsedMs() + 300;
        h.addFault(0, refuse);
        Fault drop;
        drop.kind = Fault::Kind::Drop;
        drop.onCommand = 9;
        h.addFault(0, drop);
    });
    ASSERT_EQ(run("fault 0 silent 300"), "");
    ASSERT_EQ(run("fault 0 off"), "");
    const std::size_t from = events().size();
    ASSERT_EQ(run("fault 0 stall 0"), "");
    runFor(io, 600ms);
    EXPECT_EQ(count([](const Event &e) { return e.type == Event::Type::FaultOn; }, from), 1u)
        << "an armed fault began after off";
    EXPECT_EQ(count([](const Event &e) { return e.type == Event::Type::FaultOff; }, from), 0u)
        << "an earlier fault's timer ended a later one";
    ASSERT_EQ(run("fault 0 off"), "");
    client.send(CommandFrame::make(Command::Refresh));
    roundTrip();
    EXPECT_FALSE(client.ended);
    EXPECT_TRUE(connects(0));
}

// A fault started again replaces the earlier one's end: a silence first for 300 ms, then for
// good, is still on after the 300 ms.
TEST_F(ControlLines, TheLatestWordOnAFaultHolds)
{
    ASSERT_EQ(run("fault 0 silent 300"), "");
    ASSERT_EQ(run("fault 0 silent 0"), "");
    const std::size_t from = events().size();
    runFor(io, 700ms);
    EXPECT_EQ(count([](const Event &e) { return e.type == Event::Type::FaultOff; }, from), 0u)
        << "the first silence's end ended the second";
    ASSERT_EQ(run("fault 0 off"), "");
    roundTrip();
}

// "release" and "in" end what drove an input, a change still on its way along a wire included.
TEST_F(ControlLines, AnInputLetGoTakesNoChangeStillOnAWire)
{
    for (const char *letGo : {"release 0 5", "in 0 5 0"}) {
        SCOPED_TRACE(letGo);
        // A host too slow to let go within the wire's delay proves nothing: once more.
        bool caughtInFlight = false;
        for (int attempt = 0; attempt < 5 && !caughtInFlight; ++attempt) {
            client.send(writeWord(0));
            ASSERT_EQ(run("wire 0 out 5 in 5 300"), "");
            ASSERT_TRUE(runUntil(io, [&] { return !input(0, 5); }));
            client.send(writeWord(1u << 5));
            roundTrip();
            caughtInFlight = host.call([letGo](CardHost &h) {
                const bool landed = h.card(0).sim.input(5);
                EXPECT_EQ(runHostCommand(h, letGo, [](const std::string &) {}), "");
                return !landed;
            });
        }
        if (!caughtInFlight)
            GTEST_SKIP() << "the change along the wire landed before every let-go";
        runFor(io, 500ms);
        EXPECT_FALSE(input(0, 5));
    }
}

// A wave released just as its edge is due: the timer has fired and waits in the queue, so
// cancelling it no longer stops its handler. Run on a context of the test's own, to order it.
TEST(Fixture, AWaveReleasedAsItsEdgeIsDueStaysPut)
{
    asio::io_context io;
    kavro::sim::SimCard card(io);
    kavro::sim::Fixture fixture(
        io, [&card](int c) { return c == 0 ? &card : nullptr; }, Clock::now());
    fixture.set(0, behaviour(InputBehaviour::Kind::Sequence, 3, [](auto &b) {
                    b.steps = {{0, true}, {5, false}};
                }));
    ASSERT_TRUE(card.input(3));
    // Queued behind the reactor, which finds the timer due once the sleep is over.
    asio::post(io, [&] { fixture.clear(0, 3); });
    std::this_thread::sleep_for(20ms);
    io.poll();
    EXPECT_TRUE(card.input(3)) << "the released input moved";
}

// Scenario files

struct BadScenario
{
    const char *name;
    const char *yaml;
    int line;
    const char *field; // empty where the file is no YAML
    const char *what;
};

TEST(ScenarioFiles, EachErrorNamesTheFileTheLineAndTheField)
{
    const BadScenario rows[] = {
        {"input outside 0..31", "cards:\n  - inputs:\n      - {input: 32, level: 1}\n", 3,
         "cards[0].inputs[0].input", "32 is outside 0 to 31"},
        {"unknown fault", "cards:\n  - faults:\n      - {fault: melt, at_ms: 100}\n", 3,
         "cards[0].faults[0].fault", "unknown fault melt"},
        {"unknown key", "cards:\n  - address: 127.0.0.1\n    adress: 127.0.0.2\n", 3,
         "cards[0].adress", "unknown field"},
        {"wire from a card that does not exist",
         "cards:\n  - {}\n  - inputs:\n      - {input: 1, follows: {card: 2, output: 1}}\n", 4,
         "cards[1].inputs[0].follows.card", "outside 0 to 1"},
        {"two cards with one MAC",
         "cards:\n  - mac: \"02:DE:00:00:00:01\"\n  - mac: \"02:DE:00:00:00:01\"\n", 3,
         "cards[1].mac", "two cards have 02:DE:00:00:00:01"},
        {"not a MAC", "cards:\n  - mac: \"02:DE:00\"\n", 2, "cards[0].mac", "not a MAC"},
        {"delay without delay_ms", "cards:\n  - faults:\n      - {fault: delay, at_ms: 100}\n", 3,
         "cards[0].faults[0].delay_ms", "missing"},
        {"two triggers", "cards:\n  - faults:\n      - {fault: stall, at_ms: 1, on_command: 9}\n",
         3, "cards[0].faults[0]", "at most one"},
        {"a drop that lasts", "cards:\n  - faults:\n      - {fault: drop, for_ms: 5}\n", 3,
         "cards[0].faults[0].for_ms", "no duration"},
        {"times that do not rise",
         "cards:\n  - inputs:\n      - {input: 1, sequence: [[0, 1],\n          [0, 0]]}\n", 4,
         "cards[0].inputs[0].sequence[1].time_ms", "rise"},
        {"an input driven twice",
         "cards:\n  - inputs:\n      - {input: 1, level: 1}\n      - {input: 1, level: 0}\n", 4,
         "cards[0].inputs[1].input", "driven twice"},
        {"a level that is no level", "cards:\n  - inputs:\n      - {input: 1, level: 2}\n", 3,
         "cards[0].inputs[0].level", "expected a level"},
        {"a square too fast", "cards:\n  - inputs:\n      - {input: 1, square: {period_ms: 1}}\n",
         3, "cards[0].inputs[0].square.period_ms", "outside 2 to"},
        {"broken YAML", "cards:\n  - inputs: [{input: 1, level: 1}\n  - address: 127.0.0.1\n", 3,
         "", ""},
    };
    for (const BadScenario &row : rows) {
        SCOPED_TRACE(row.name);
        try {
            kavro::sim::parseScenario(row.yaml, "bad.yaml");
            ADD_FAILURE() << "accepted";
        } catch (const ScenarioError &e) {
            const std::string text = e.what();
            std::string head = "bad.yaml:" + std::to_string(row.line) + ": ";
            if (*row.field)
                head += std::string(row.field) + ": ";
            EXPECT_EQ(text.rfind(head, 0), 0u) << text;
            EXPECT_NE(text.find(row.what), std::string::npos) << text;
        }
    }
}

TEST(ScenarioFiles, ExampleOpensCardsThatBehaveAsItSays)
{
    Scenario s = kavro::sim::loadScenario(std::string(KAVRO_SOURCE_DIR) +
                                          "/simulator/scenarios/example.yaml");
    ASSERT_EQ(s.cards.size(), 2u);
    // Ports the system picks: no other host running on the file's port gets in the way.
    for (auto &card : s.cards)
        card.port = 0;
    HostLog watch;
    HostThread host;
    ASSERT_EQ(host.open(loopbackHost(1), &s, [&](CardHost &h) { watch.hook(h); }), "");
    struct Seen
    {
        std::string address0, address1, mac0, mac1;
        bool input0Of1;
    };
    const Seen seen = host.call([](CardHost &h) {
        return Seen{h.card(0).server.endpoint().address().to_string(),
                    h.card(1).server.endpoint().address().to_string(), h.card(0).identity.mac,
                    h.card(1).identity.mac, h.card(1).sim.input(0)};
    });
    EXPECT_EQ(host.call([](CardHost &h) { return h.cardCount(); }), 2u);
    EXPECT_EQ(seen.address0, "127.0.0.1");
    EXPECT_EQ(seen.address1, "127.0.0.2");
    EXPECT_EQ(seen.mac0, "02:DE:00:00:00:01");
    EXPECT_NE(seen.mac1, seen.mac0);
    EXPECT_TRUE(seen.input0Of1) << "input 0 of card 1 is always on";

    // Card 0's output 2 drives its input 2 5 ms later; card 1's output 31 card 0's input 31
    // 20 ms later.
    asio::io_context io;
    const auto events = [&] { return host.call([&](CardHost &) { return watch.events; }); };
    const struct
    {
        std::size_t card;
        int bit;
        std::uint32_t delayMs;
    } wires[] = {{0, 2, 5}, {1, 31, 20}};
    for (const auto &wire : wires) {
        SCOPED_TRACE(wire.bit);
        LinkClient client(io);
        client.connect(host.endpoint(wire.card));
        const std::size_t from = events().size();
        const auto sent = Clock::now();
        client.send(writeWord(1u << wire.bit));
        ASSERT_TRUE(
            runUntil(io, [&] { return !inputEdges(events(), 0, wire.bit, false, from).empty(); }));
        EXPECT_GE(inputEdges(events(), 0, wire.bit, false, from)[0].at - sent, Ms(wire.delayMs));
    }
}

// A card that cannot listen stops the host from opening, and takes the cards before it down.
TEST(ScenarioFiles, CardThatCannotListenLeavesNothingListening)
{
    asio::io_context io;
    tcp::acceptor taken(io, {make_address("127.0.0.3"), 0}, false);
    const std::uint16_t port = taken.local_endpoint().port();
    const std::string p = std::to_string(port);
    // Card 0 listens first, on a port known to be in use elsewhere, so no one else holds it here.
    const Scenario s =
        kavro::sim::parseScenario("cards:\n"
                                  "  - address: 127.0.0.4\n"
                                  "    port: " +
                                      p +
                                      "\n"
                                      "    inputs: [{input: 1, square: {period_ms: 10}}]\n"
                                      "    faults: [{fault: silent, at_ms: 10}]\n"
                                      "  - address: 127.0.0.3\n"
                                      "    port: " +
                                      p + "\n",
                                  "taken.yaml");

    CardHost host;
    const std::string error = host.open(loopbackHost(1, true), &s);
    EXPECT_NE(error.find("card 1"), std::string::npos) << error;
    EXPECT_NE(error.find("127.0.0.3:" + p), std::string::npos) << error;
    EXPECT_EQ(host.cardCount(), 0u);
    EXPECT_FALSE(host.responder().running());
    tcp::acceptor probe(io);
    const tcp::endpoint first{make_address("127.0.0.4"), port};
    std::error_code ec;
    probe.open(first.protocol(), ec);
    if (!ec)
        probe.bind(first, ec);
    if (!ec)
        probe.listen(1, ec);
    EXPECT_FALSE(ec) << first << " still held: " << ec.message();
}

} // namespace
