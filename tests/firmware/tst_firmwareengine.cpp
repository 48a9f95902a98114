#include "cardharness.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace kavro;
using link::CardFrameKind;
using link::Command;
using link::CommandFrame;

namespace {

CommandFrame cmd(Command code, std::uint8_t p = 0, std::uint32_t a = 0, std::uint32_t b = 0)
{
    return CommandFrame::make(code, p, a, b, 0x21);
}

} // namespace

TEST(FirmwareEngine, StartUpReportsRestartAndShowsOutputs)
{
    CardHarness c;
    c.setInput(4, true);
    c.startCard();
    ASSERT_EQ(c.frames.size(), 1u);
    const auto &f = c.frames[0];
    EXPECT_EQ(f.sequence, 0);
    EXPECT_EQ(f.status, 0);
    EXPECT_EQ(f.group(), 0);
    EXPECT_EQ(f.inputWord(), 0x10u);
    EXPECT_EQ(f.outputWord(), 0u);
    EXPECT_EQ(c.outputEvents.size(), 32u);
    EXPECT_EQ(c.inputQueries, 32u);
}

TEST(FirmwareEngine, BytesReceivedBeforeStartAreDiscarded)
{
    CardHarness c;
    const auto w = cmd(Command::SetOutBit, 0, 1).encode();
    c.engine.ReciveData(w.data(), w.size());
    c.startCard();
    c.drain();
    EXPECT_FALSE(c.outputOn(1));
    EXPECT_EQ(c.engine.pendingBytes(), 0u);
}

TEST(FirmwareEngine, OutputChangeIsReportedCountedAndRepeatsAreNot)
{
    CardHarness c;
    c.startCard();
    c.clearRecords();

    c.send(CommandFrame::make(Command::SetOutBit, 0, 5, 0, 3));
    ASSERT_EQ(c.frames.size(), 1u);
    EXPECT_EQ(c.frames[0].sequence, 1);
    EXPECT_EQ(c.frames[0].status, 0x01);
    EXPECT_EQ(c.frames[0].outputWord(), 0x20u);
    EXPECT_EQ(c.frames[0].selector, 1 + 3) << "sequence plus the command's selector";
    EXPECT_EQ(c.outputEvents, (std::vector<CardHarness::OutputEvent>{{0, 5, true}}));

    c.clearRecords();
    c.send(CommandFrame::make(Command::SetOutBit, 0, 5, 0, 3));
    EXPECT_TRUE(c.frames.empty()) << "an output already set is no change";
    // The acknowledgement rides on the next frame, here an input report.
    c.setInput(2, true);
    c.advanceMs(10);
    ASSERT_EQ(c.frames.size(), 1u);
    EXPECT_EQ(c.frames[0].sequence, 2);
    EXPECT_EQ(c.frames[0].status, 0x01);
    EXPECT_EQ(c.frames[0].inputWord(), 0x4u);
}

TEST(FirmwareEngine, InputChangeIsReportedWithinOneScanPeriod)
{
    CardHarness c;
    c.startCard();
    c.advanceMs(3.5);
    c.clearRecords();
    c.setInput(31, true);
    double waitedMs = 0;
    while (c.frames.empty() && waitedMs < 20) {
        c.advanceMs(0.5);
        waitedMs += 0.5;
    }
    ASSERT_EQ(c.frames.size(), 1u);
    EXPECT_LE(waitedMs, 6.5);
    EXPECT_EQ(c.frames[0].inputWord(), 0x80000000u);
    EXPECT_EQ(c.frames[0].sequence, 1);
    c.advanceMs(20);
    EXPECT_EQ(c.frames.size(), 1u) << "one report per change";
}

TEST(FirmwareEngine, SequenceAfter255IsOne)
{
    CardHarness c;
    c.startCard();
    for (int i = 0; i < 255; ++i)
        c.send(cmd(i % 2 ? Command::ClearOutBit : Command::SetOutBit, 0, 1));
    ASSERT_EQ(c.frames.back().sequence, 255);
    c.send(cmd(Command::SetOutBit, 0, 2));
    EXPECT_EQ(c.frames.back().sequence, 1);
}

TEST(FirmwareEngine, HeartbeatEvery2000msOfSilenceKeepsPendingStatus)
{
    CardHarness c;
    c.startCard();
    c.send(cmd(Command::SetOutBit, 0, 9)); // sequence 1, heartbeat time from here
    c.send(cmd(Command::SetStatus7));
    c.clearRecords();

    c.advanceMs(1999.5);
    EXPECT_TRUE(c.frames.empty());
    c.advanceMs(0.5);
    ASSERT_EQ(c.frames.size(), 1u);
    const auto hb = c.frames[0];
    EXPECT_EQ(hb.kind(), CardFrameKind::Heartbeat);
    EXPECT_EQ(hb.status, 0xFF);
    EXPECT_EQ(hb.param, 0);
    EXPECT_EQ(hb.inputWord(), 0u);
    EXPECT_EQ(hb.outputWord(), 0u);
    EXPECT_EQ(hb.sequence, 1);
    c.advanceMs(2000);
    EXPECT_EQ(c.framesOf(CardFrameKind::Heartbeat).size(), 2u);

    c.setInput(0, true);
    c.advanceMs(7);
    ASSERT_EQ(c.frames.size(), 3u);
    EXPECT_EQ(c.frames.back().status, 0x07) << "the heartbeat left the status in place";
}

TEST(FirmwareEngine, CountedReportPostponesHeartbeat)
{
    CardHarness c;
    c.startCard();
    c.advanceMs(1500);
    c.send(cmd(Command::SetOutBit, 0, 4));
    c.clearRecords();
    c.advanceMs(1999.5);
    EXPECT_TRUE(c.framesOf(CardFrameKind::Heartbeat).empty());
    c.advanceMs(0.5);
    EXPECT_EQ(c.framesOf(CardFrameKind::Heartbeat).size(), 1u);
}

TEST(FirmwareEngine, RefreshAfterInputChangeSendsOneUncountedReport)
{
    CardHarness c;
    c.startCard();
    c.send(cmd(Command::SetOutBit, 0, 9));
    c.advanceMs(10);
    c.clearRecords();

    c.setInput(3, true);
    c.send(cmd(Command::Refresh)); // no time passes: the scan timer has not seen the change
    ASSERT_EQ(c.frames.size(), 1u);
    EXPECT_EQ(c.frames[0].sequence, 1) << "uncounted";
    EXPECT_EQ(c.frames[0].inputWord(), 0x8u);
    EXPECT_EQ(c.frames[0].outputWord(), 1u << 9);
    EXPECT_EQ(c.outputEvents.size(), 32u) << "refresh drives every output again";

    c.advanceMs(30);
    EXPECT_EQ(c.frames.size(), 1u) << "the change was taken as reported";
}

TEST(FirmwareEngine, QueryCommandsAndTheSequenceByte)
{
    struct Case
    {
        const char *name;
        CommandFrame command;
        CardFrameKind kind;
        std::uint8_t status;
        std::uint8_t param;
        bool zeroBecomesOne;
    };
    const Case cases[] = {
        {"7 read-back", cmd(Command::ReadGroup, 0), CardFrameKind::GroupReport, 0x01, 0, false},
        {"8 report", cmd(Command::ReportGroup, 0), CardFrameKind::GroupReport, 0x01, 0, true},
        {"9 refresh", cmd(Command::Refresh), CardFrameKind::GroupReport, 0x01, 0, true},
        {"10 blank", cmd(Command::BlankQuery, 0x5A), CardFrameKind::BlankReply, 0x09, 0x5A, false},
        {"16 stop all", cmd(Command::StopAll), CardFrameKind::GroupReport, 0x01, 0, true},
    };
    for (const Case &k : cases) {
        for (int before : {0, 5}) {
            SCOPED_TRACE(std::string(k.name) + ", sequence " + std::to_string(before));
            CardHarness c;
            c.startCard();
            for (int i = 0; i < before; ++i)
                c.send(cmd(i % 2 ? Command::ClearOutBit : Command::SetOutBit, 0, 30));
            c.advanceMs(1500);
            c.clearRecords();

            c.send(k.command);
            ASSERT_EQ(c.frames.size(), 1u);
            const auto &f = c.frames[0];
            EXPECT_EQ(f.kind(), k.kind);
            EXPECT_EQ(f.status, k.status);
            EXPECT_EQ(f.param, k.param);
            const int expected = (before == 0 && k.zeroBecomesOne) ? 1 : before;
            EXPECT_EQ(f.sequence, expected);
            if (k.kind == CardFrameKind::BlankReply) {
                EXPECT_EQ(f.inputWord(), 0xFFFFFFFFu);
                EXPECT_EQ(f.outputWord(), 0xFFFFFFFFu);
            }
            // None of them resets the heartbeat time.
            c.advanceMs(500);
            EXPECT_EQ(c.framesOf(CardFrameKind::Heartbeat).size(), 1u);
            EXPECT_EQ(c.engine.statusCode(), 0);
        }
    }
}

TEST(FirmwareEngine, DelayedSwitchOffTiming)
{
    struct Case
    {
        Command command;
        std::uint8_t count;
        double offAfterMs;
    };
    for (const Case &k :
         {Case{Command::DelayOff100ms, 3, 300}, Case{Command::DelayOff500ms, 2, 1000},
          Case{Command::DelayOff1s, 1, 1000}, Case{Command::DelayOff100ms, 255, 25500}}) {
        SCOPED_TRACE(int(k.command) * 1000 + k.count);
        CardHarness c;
        c.startCard();
        c.advanceMs(1.5);
        c.clearRecords();
        c.send(cmd(k.command, k.count));
        EXPECT_TRUE(c.outputOn(0));
        EXPECT_TRUE(c.output(0));
        ASSERT_EQ(c.frames.size(), 1u);
        EXPECT_EQ(c.frames[0].outputWord(), 1u);
        EXPECT_EQ(c.frames[0].sequence, 1);

        c.advanceMs(k.offAfterMs - 0.5);
        EXPECT_TRUE(c.outputOn(0));
        c.advanceMs(0.5);
        EXPECT_FALSE(c.outputOn(0));
        EXPECT_FALSE(c.output(0));
        const auto reports = c.framesOf(CardFrameKind::GroupReport);
        ASSERT_EQ(reports.size(), 2u);
        EXPECT_EQ(reports[1].outputWord(), 0u);
        EXPECT_EQ(reports[1].sequence, 2);
    }
}

TEST(FirmwareEngine, DelayedSwitchOffCancelRules)
{
    struct Case
    {
        const char *name;
        CommandFrame command;
        bool switchesOffNow;
        bool cancels;
    };
    const Case cases[] = {
        {"2 on bit 0", cmd(Command::ClearOutBit, 0, 0), true, true},
        {"2 on another bit, output 0 still on", cmd(Command::ClearOutBit, 0, 5), false, false},
        {"4", cmd(Command::CancelDelayOff), false, true},
        {"16", cmd(Command::StopAll), false, true},
        {"17 with bit 0 clear", cmd(Command::WriteOutWord, 0, 0, 0xF0), true, true},
        {"17 with bit 0 set", cmd(Command::WriteOutWord, 0, 0, 0xF1), false, false},
        {"1", cmd(Command::SetOutBit, 0, 0), false, false},
        {"9", cmd(Command::Refresh), false, false},
        {"11", CommandFrame::makePulser(0x1F, 0, 1, 1, 0), false, false},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        CardHarness c;
        c.startCard();
        c.send(cmd(Command::DelayOff1s, 2));
        c.advanceMs(500);
        c.send(k.command);
        EXPECT_EQ(c.engine.delayOffArmed(), !k.cancels);
        EXPECT_EQ(!c.outputOn(0), k.switchesOffNow);
        if (!c.outputOn(0))
            c.send(cmd(Command::SetOutBit, 0, 0)); // on again, without arming
        c.advanceMs(2000);
        EXPECT_EQ(c.outputOn(0), k.cancels) << "a switch-off still armed fires at 2 s";
    }
}

TEST(FirmwareEngine, DelayedSwitchOffWithZeroCountNeverFires)
{
    CardHarness c;
    c.startCard();
    c.send(cmd(Command::DelayOff1s, 0));
    c.advanceMs(30000);
    EXPECT_TRUE(c.outputOn(0));
    c.send(cmd(Command::ClearOutBit, 0, 0));
    EXPECT_FALSE(c.outputOn(0));
    EXPECT_FALSE(c.engine.delayOffArmed());
}

TEST(FirmwareEngine, NewDelayedSwitchOffRestartsTheTime)
{
    CardHarness c;
    c.startCard();
    c.send(cmd(Command::DelayOff100ms, 5));
    c.advanceMs(300);
    c.send(cmd(Command::DelayOff100ms, 3));
    c.advanceMs(299.5);
    EXPECT_TRUE(c.outputOn(0));
    c.advanceMs(0.5);
    EXPECT_FALSE(c.outputOn(0));
}

TEST(FirmwareEngine, OutOfRangeGroupsAndBitsAreRefusedWithoutEffect)
{
    const CommandFrame cases[] = {
        cmd(Command::SetOutBit, 1, 0),
        cmd(Command::SetOutBit, 0, 32),
        cmd(Command::SetOutBit, 0, 0xFFFFFFFF),
        cmd(Command::ClearOutBit, 1, 0),
        cmd(Command::ClearOutBit, 0, 40),
        cmd(Command::ClearOutBit, 255, 0x80000000),
        cmd(Command::ReadGroup, 1),
        cmd(Command::ReportGroup, 255),
        cmd(Command::WriteOutWord, 1, 0, 0),
    };
    for (const CommandFrame &k : cases) {
        SCOPED_TRACE("code " + std::to_string(k.code) + " group " + std::to_string(k.param) +
                     " bit " + std::to_string(k.fieldA));
        CardHarness c;
        c.startCard();
        c.send(cmd(Command::DelayOff1s, 50));
        c.send(cmd(Command::WriteOutWord, 0, 0, 0x0000FFFF));
        c.clearRecords();

        c.send(k);
        EXPECT_TRUE(c.frames.empty());
        EXPECT_TRUE(c.outputEvents.empty());
        EXPECT_EQ(c.engine.outputWord(), 0x0000FFFFu);
        EXPECT_TRUE(c.engine.delayOffArmed());
    }
}

TEST(FirmwareEngine, ThousandFramesInOneDeliveryAllExecuteInOrder)
{
    CardHarness c;
    c.startCard();
    c.clearRecords();
    std::vector<std::uint8_t> bytes;
    for (std::uint32_t i = 1; i <= 1000; ++i) {
        const auto w = CommandFrame::make(Command::WriteOutWord, 0, 0, i, std::uint8_t(i)).encode();
        bytes.insert(bytes.end(), w.begin(), w.end());
    }
    c.sendBytes(bytes);
    const auto reports = c.framesOf(CardFrameKind::GroupReport);
    ASSERT_EQ(reports.size(), 1000u);
    for (std::uint32_t i = 1; i <= 1000; ++i)
        ASSERT_EQ(reports[i - 1].outputWord(), i) << "frame " << i;
}

TEST(FirmwareEngine, StopAndRestartKeepOutputsPulsersAndDelayedSwitchOff)
{
    CardHarness c;
    c.startCard();
    c.send(cmd(Command::SetOutBit, 0, 12));
    c.send(cmd(Command::DelayOff1s, 2));
    c.send(CommandFrame::makePulser(0x15, 0xFFFF, 10, 10, 0));
    c.advanceMs(500);
    // The firmware thread stops here: no more passes. Then it starts again.
    c.clearRecords();
    c.startCard();
    ASSERT_FALSE(c.frames.empty());
    EXPECT_EQ(c.frames[0].sequence, 0);
    EXPECT_EQ(c.frames[0].outputWord() & 0x1001u, 0x1001u);
    EXPECT_TRUE(c.output(12));
    EXPECT_TRUE(c.output(0));
    EXPECT_EQ(c.engine.pulsers().pulser(5).running, 1);

    c.advanceMs(1499.5);
    EXPECT_TRUE(c.outputOn(0));
    c.advanceMs(0.5);
    EXPECT_FALSE(c.outputOn(0)) << "1.5 s left of the 2 s switch-off";
    EXPECT_TRUE(c.outputOn(12));
    const auto toggles = std::count_if(c.outputEvents.begin() + 32, c.outputEvents.end(),
                                       [](const auto &e) { return e.bit == 5; });
    EXPECT_GT(toggles, 50) << "the pulse train went on after the restart";
}
