#include "cardharness.h"

#include <gtest/gtest.h>

using namespace kavro;
using link::CardFrameKind;
using link::Command;
using link::CommandFrame;

namespace {

using Flags = std::array<std::uint8_t, 8>;

std::vector<link::CardFrame> endedReports(const CardHarness &c)
{
    std::vector<link::CardFrame> out;
    for (const auto &f : c.framesOf(CardFrameKind::PulserStatus))
        if (f.param == 0)
            out.push_back(f);
    return out;
}

Flags flagsOf(const link::CardFrame &f)
{
    return f.payload;
}

} // namespace

TEST(Pulsers, TrainOnOutput3EndsWithOneStatusFrame)
{
    struct Case
    {
        std::uint8_t selector;
        std::vector<bool> levelsAt; // output 3 at 50, 125, 200, 275 and 400 ms
        std::size_t countedReports;
        bool endsSet;
    };
    const Case cases[] = {
        {0x13, {true, false, true, false, false}, 4, false},
        {0x03, {false, true, false, true, true}, 3, true}, // the first clear changes nothing
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(int(k.selector));
        CardHarness c;
        c.startCard();
        c.clearRecords();
        c.send(CommandFrame::makePulser(k.selector, 2, 100, 50, 0));

        ASSERT_EQ(c.frames.size(), 1u);
        const auto answer = c.frames[0];
        EXPECT_EQ(answer.kind(), CardFrameKind::PulserStatus);
        EXPECT_EQ(answer.status, 0x11);
        EXPECT_EQ(answer.param, 1);
        EXPECT_EQ(flagsOf(answer), (Flags{0, 0, 0, 1, 0, 0, 0, 0}));

        std::vector<bool> levels;
        double t = 0;
        for (double at : {50.0, 125.0, 200.0, 275.0, 400.0}) {
            c.advanceMs(at - t);
            t = at;
            levels.push_back(c.outputOn(3));
        }
        EXPECT_EQ(levels, k.levelsAt);
        EXPECT_EQ(c.output(3), k.endsSet);

        std::size_t counted = 0;
        std::uint8_t lastSeq = 0;
        for (const auto &f : c.framesOf(CardFrameKind::GroupReport)) {
            EXPECT_NE(f.sequence, lastSeq);
            lastSeq = f.sequence;
            ++counted;
        }
        EXPECT_EQ(counted, k.countedReports);

        const auto ended = endedReports(c);
        ASSERT_EQ(ended.size(), 1u);
        EXPECT_TRUE(ended[0].status & 0x10);
        EXPECT_EQ(flagsOf(ended[0]), Flags{});
        EXPECT_EQ(c.engine.pulsers().pulser(3).running, 0);
    }
}

TEST(Pulsers, StartDelayComesFirst)
{
    CardHarness c;
    c.startCard();
    c.send(CommandFrame::makePulser(0x14, 1, 10, 10, 50));
    c.advanceMs(45);
    EXPECT_FALSE(c.outputOn(4));
    c.advanceMs(10);
    EXPECT_TRUE(c.outputOn(4));
}

TEST(Pulsers, SelectorAddressesOneOrAll)
{
    struct Case
    {
        std::uint8_t selector;
        Flags running;
    };
    const Case cases[] = {
        {0x08, {1, 0, 0, 0, 0, 0, 0, 0}}, // 0x08 is pulser 0, not all
        {0x1E, {0, 0, 0, 0, 0, 0, 1, 0}},
        {0x0F, {1, 1, 1, 1, 1, 1, 1, 1}},
        {0xFF, {1, 1, 1, 1, 1, 1, 1, 1}},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(int(k.selector));
        CardHarness c;
        c.startCard();
        c.clearRecords();
        c.send(CommandFrame::makePulser(k.selector, 3, 10, 10, 0));
        ASSERT_EQ(c.frames.size(), 1u);
        EXPECT_EQ(flagsOf(c.frames[0]), k.running);
    }
}

TEST(Pulsers, CountZeroForAllStopsEveryTrainAndLeavesOutputs)
{
    CardHarness c;
    c.startCard();
    c.send(CommandFrame::makePulser(0x1F, 0xFFFF, 10, 10, 0));
    EXPECT_EQ(flagsOf(c.frames.back()), (Flags{1, 1, 1, 1, 1, 1, 1, 1}));
    c.advanceMs(5);
    const std::uint32_t before = c.engine.outputWord();
    EXPECT_EQ(before & 0xFF, 0xFFu);

    c.clearRecords();
    c.send(CommandFrame::makePulser(0x0F, 0, 0, 0, 0));
    ASSERT_EQ(c.frames.size(), 1u);
    EXPECT_EQ(c.frames[0].status, 0x11);
    EXPECT_EQ(flagsOf(c.frames[0]), Flags{});
    c.advanceMs(100);
    EXPECT_EQ(c.engine.outputWord(), before);
    EXPECT_TRUE(endedReports(c).empty());
}

TEST(Pulsers, EndlessTrainRunsUntilStopped)
{
    for (bool byStopAll : {false, true}) {
        SCOPED_TRACE(byStopAll ? "command 16" : "command 11 with count 0");
        CardHarness c;
        c.startCard();
        c.send(CommandFrame::makePulser(0x11, 0xFFFF, 1, 1, 0));
        c.clearRecords();
        c.advanceMs(140000); // past 65535 set and clear phases of 1 ms
        EXPECT_EQ(c.engine.pulsers().pulser(1).running, 1);
        EXPECT_TRUE(endedReports(c).empty());
        EXPECT_GT(c.outputEvents.size(), 100000u);

        c.send(byStopAll ? CommandFrame::make(Command::StopAll)
                         : CommandFrame::makePulser(0x01, 0, 0, 0, 0));
        EXPECT_EQ(c.engine.pulsers().pulser(1).running, 0);
        const auto events = c.outputEvents.size();
        c.advanceMs(50);
        EXPECT_EQ(c.outputEvents.size(), events);
        EXPECT_TRUE(endedReports(c).empty());
    }
}

TEST(Pulsers, TwoTrainsEndingInOneStepGiveOneStatusFrame)
{
    CardHarness c;
    c.startCard();
    c.send(CommandFrame::makePulser(0x12, 1, 10, 10, 0));
    c.send(CommandFrame::makePulser(0x16, 1, 10, 10, 0)); // same instant
    c.advanceMs(100);
    const auto ended = endedReports(c);
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(flagsOf(ended[0]), Flags{});
    EXPECT_FALSE(c.outputOn(2));
    EXPECT_FALSE(c.outputOn(6));
}
