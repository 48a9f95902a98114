// The PCIe stand-in: cards simulated in the process, outputs looped back to inputs.
#include "kavro_iolb.h"
#include "waituntil.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

// The present cards are read when the library first needs them.
const int presentCards = setenv("KAVRO_PCIE_CARDS", "0,2", 1);

class PcieLibrary : public ::testing::Test
{
protected:
    void TearDown() override
    {
        for (unsigned short c = 0; c < 16; ++c)
            iolb_board_close(c);
    }

    // Counted by callbacks; outlive TearDown, which removes the callbacks.
    std::atomic<int> reports{0};
    std::atomic<int> inputEdges{0};
};

} // namespace

TEST_F(PcieLibrary, OnlyPresentCardsOpen)
{
    ASSERT_EQ(presentCards, 0);
    EXPECT_EQ(iolb_board_open("PCIE", 1), 2);
    EXPECT_EQ(iolb_board_open("PCIe", 0), 2);
    EXPECT_EQ(iolb_board_open("PCIE", 0), 0);
    EXPECT_EQ(iolb_board_open("PCIE", 2), 0);
    EXPECT_EQ(iolb_board_open("PCIE", 2), 6);
    unsigned char version = 0, type = 0;
    EXPECT_EQ(iolb_board_getboardinfo(2, &version, &type), 0);
    EXPECT_EQ(type, 7);
    EXPECT_EQ(version, 12);
    EXPECT_EQ(iolb_board_isconnected(0), 1);
}

TEST_F(PcieLibrary, OutputsDriveTheirOwnInputs)
{
    ASSERT_EQ(iolb_board_open("PCIE", 0), 0);
    iolb_board_setcallback(
        0,
        [](void *ctx, unsigned short, unsigned short, unsigned, unsigned, unsigned, unsigned,
           unsigned char) { ++*static_cast<std::atomic<int> *>(ctx); },
        &reports);
    // The loop-output test's walk: every output on, then every output off.
    for (int level : {1, 0}) {
        for (int bit = 0; bit < 32; ++bit)
            ASSERT_EQ(iolb_write_outbit(0, bit, level), 0) << bit;
        const unsigned expected = level ? 0xFFFFFFFFu : 0u;
        EXPECT_EQ(iolb_read_outport(0, 0), expected);
        EXPECT_TRUE(waitUntil([&] { return iolb_read_inport(0, 0) == expected; }));
    }
    EXPECT_GE(reports.load(), 64);
}

TEST_F(PcieLibrary, PulseTrainRunsAndEnds)
{
    ASSERT_EQ(iolb_board_open("PCIE", 2), 0);
    iolb_board_setcallback(
        2,
        [](void *ctx, unsigned short, unsigned short, unsigned in, unsigned, unsigned inLast,
           unsigned, unsigned char) {
            if ((in ^ inLast) & (1u << 3))
                ++*static_cast<std::atomic<int> *>(ctx);
        },
        &inputEdges);
    ASSERT_EQ(iolb_board_pulser_pulse(2, 3, 1, 3, 20, 20, 0), 0);
    unsigned char busy = 0;
    EXPECT_EQ(iolb_board_pulser_isbusy(2, 3, &busy), 0);
    EXPECT_EQ(busy, 1);
    EXPECT_TRUE(waitUntil([&] {
        iolb_board_pulser_isbusy(2, 3, &busy);
        return busy == 0;
    }));
    EXPECT_TRUE(waitUntil([&] { return inputEdges >= 6; })) << inputEdges;
    EXPECT_EQ(iolb_read_outbit(2, 3), 0);
}

TEST_F(PcieLibrary, CardKeepsItsOutputsWhileClosed)
{
    ASSERT_EQ(iolb_board_open("PCIE", 0), 0);
    ASSERT_EQ(iolb_write_outbit(0, 9, 1), 0);
    iolb_board_close(0);
    ASSERT_EQ(iolb_board_open("PCIE", 0), 0);
    EXPECT_EQ(iolb_read_outbit(0, 9), 1);
    unsigned char frame = 0xEE;
    EXPECT_EQ(iolb_board_getcurframeno(0, &frame), 0);
    EXPECT_EQ(iolb_write_outbit(0, 9, 0), 0);
}
