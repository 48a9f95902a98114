// The network board library against a card whose link fails: frames lost, garbled, doubled,
// late or cut off, and a card that restarts. kavro-board-host plays the card and injects the
// faults; it prints "hit 0 KIND FRAME" for every frame a fault touched.
#include "hostprocess.h"
#include "kavro_iolb.h"
#include "waituntil.h"

#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

struct Report
{
    unsigned in, out, inLast, outLast;
    unsigned char frame;
};

struct Recorder
{
    std::mutex mutex;
    std::vector<Report> reports;

    static void callback(void *ctx, unsigned short, unsigned short, unsigned in, unsigned out,
                         unsigned inLast, unsigned outLast, unsigned char frame)
    {
        auto *self = static_cast<Recorder *>(ctx);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->reports.push_back({in, out, inLast, outLast, frame});
    }
    std::vector<Report> snapshot()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return reports;
    }
};

// The library's words equal the card's, as they must once a fault is over.
bool libraryShows(unsigned in, unsigned out, std::chrono::milliseconds timeout = 5000ms)
{
    return waitUntil([&] { return iolb_read_inport(0, 0) == in && iolb_read_outport(0, 0) == out; },
                     timeout);
}

// Every "hit 0 KIND" line up to the line that ends the fault.
int hitsUntil(HostProcess &host, const std::string &kind, const std::string &endLine)
{
    int hits = 0;
    for (;;) {
        const std::string line = host.waitForLineStarting("", 5000ms);
        if (line.empty() || line == endLine)
            return hits;
        if (line.rfind("hit 0 " + kind + " ", 0) == 0)
            ++hits;
    }
}

class NetFaults : public ::testing::Test
{
protected:
    void TearDown() override { iolb_board_close(0); }

    Recorder rec;
};

} // namespace

// A write is reported done only when the card's answer to it arrives intact. Faults that lose
// nothing cost at most time; a lost answer gives the write timeout, and the library's levels
// catch up with the card by themselves once the fault is over.
TEST_F(NetFaults, WriteIsDoneOnlyWhenItsAnswerArrives)
{
    struct Case
    {
        const char *fault;
        int result;
    };
    const Case cases[] = {
        {"corrupt 1 600", IOLB_ERR_WRITE_TIMEOUT}, // the answer and all else garbled for a while
        {"silent 800", IOLB_ERR_WRITE_TIMEOUT},    // the answer never sent
        {"duplicate 1", IOLB_OK},
        {"delay 300", IOLB_OK},
        {"stall 300", IOLB_OK},
        {"bytewise", IOLB_OK},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.fault);
        HostProcess host;
        ASSERT_TRUE(host.started());
        ASSERT_EQ(iolb_board_open(host.portText().c_str(), 0), 0);
        const std::string name = std::string(c.fault).substr(0, std::string(c.fault).find(' '));
        host.sendLine(std::string("fault 0 ") + c.fault);
        ASSERT_TRUE(host.waitForLine("fault 0 " + name + " on"));
        host.setInput(7, true);
        EXPECT_EQ(iolb_write_outbit(0, 3, 1), c.result);
        host.sendLine("fault 0 off");
        EXPECT_TRUE(libraryShows(1u << 7, 1u << 3));
        EXPECT_EQ(iolb_write_outbit(0, 3, 0), 0) << "writes work again";
        iolb_board_close(0);
    }
}

// Silence past the library's silence time (5 s) reads as a lost link; the first frame after
// it brings the link back, and the words the silence kept from the library.
TEST_F(NetFaults, SilentCardReadsDisconnectedAndComesBack)
{
    HostProcess host;
    ASSERT_TRUE(host.started());
    ASSERT_EQ(iolb_board_open(host.portText().c_str(), 0), 0);
    host.sendLine("fault 0 silent 7000");
    ASSERT_TRUE(host.waitForLine("fault 0 silent on"));
    const auto start = std::chrono::steady_clock::now();
    host.setInput(4, true);

    // The last frame before the silence is at most one heartbeat (2 s) old.
    std::this_thread::sleep_for(1000ms);
    const bool connected = iolb_board_isconnected(0) == 1;
    const bool early = std::chrono::steady_clock::now() - start < 2900ms;
    EXPECT_TRUE(connected || !early) << "a card quiet for a heartbeat or so is still connected";

    EXPECT_TRUE(waitUntil([] { return iolb_board_isconnected(0) == 0; }, 7000ms));
    // Neither the answer nor the read-back comes before the silence ends.
    const bool inTime = std::chrono::steady_clock::now() - start < 5500ms;
    const int written = iolb_write_outbit(0, 2, 1);
    EXPECT_TRUE(written == IOLB_ERR_WRITE_TIMEOUT || !inTime) << written;

    ASSERT_TRUE(host.waitForLine("fault 0 silent off", 15000ms));
    EXPECT_TRUE(waitUntil([] { return iolb_board_isconnected(0) == 1; }, 5000ms));
    EXPECT_TRUE(libraryShows(1u << 4, 1u << 2)) << "the card took the write during the silence";
    EXPECT_EQ(iolb_write_outbit(0, 5, 1), 0);
}

// A dropped link comes back by itself; while it is down writes fail at once, and what changed
// meanwhile shows once it is up.
TEST_F(NetFaults, DroppedLinkReconnects)
{
    for (bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "reconnection refused for a while" : "plain drop");
        HostProcess host;
        ASSERT_TRUE(host.started());
        ASSERT_EQ(iolb_board_open(host.portText().c_str(), 0), 0);
        if (refused) {
            host.sendLine("fault 0 refuse 0");
            ASSERT_TRUE(host.waitForLine("fault 0 refuse on"));
        }
        host.sendLine("fault 0 drop");
        ASSERT_TRUE(host.waitForLine("fault 0 drop on"));
        if (refused) {
            ASSERT_TRUE(waitUntil([] { return iolb_board_isconnected(0) == 0; }));
            EXPECT_EQ(iolb_write_outbit(0, 1, 1), IOLB_ERR_NOT_READY);
        }
        host.setInput(6, true);
        host.sendLine("fault 0 off");
        EXPECT_TRUE(waitUntil([] { return iolb_board_isconnected(0) == 1; }));
        EXPECT_TRUE(libraryShows(1u << 6, 0));
        EXPECT_TRUE(waitUntil([] { return iolb_write_outbit(0, 1, 1) == 0; }));
        EXPECT_TRUE(host.waitForLine("out 1 1"));
        iolb_board_close(0);
    }
}

// Garbled and doubled frames never show a level the card did not have, and never report one
// change twice: a doubled report has the same frame number and counts once.
TEST_F(NetFaults, GarbledOrDoubledFramesNeitherBendNorRepeatReports)
{
    const std::vector<std::vector<std::string>> cases = {
        {"duplicate 1"}, {"corrupt 3"}, {"duplicate 2", "corrupt 5"}};
    for (const auto &faults : cases) {
        SCOPED_TRACE(faults.back());
        HostProcess host;
        ASSERT_TRUE(host.started());
        ASSERT_EQ(iolb_board_open(host.portText().c_str(), 0), 0);
        Recorder recorder;
        ASSERT_EQ(iolb_board_setcallback(0, &Recorder::callback, &recorder), 0);
        for (const std::string &fault : faults)
            host.sendLine("fault 0 " + fault);
        bool in = false;
        bool out = false;
        for (int round = 0; round < 30; ++round) {
            if (round % 2 == 0) {
                in = !in;
                host.setInput(5, in);
            } else {
                out = !out;
                iolb_write_outbit(0, 6, out ? 1 : 0);
            }
            std::this_thread::sleep_for(15ms);
        }
        host.sendLine("fault 0 off");
        const unsigned inWord = in ? 1u << 5 : 0u;
        const unsigned outWord = out ? 1u << 6 : 0u;
        EXPECT_TRUE(libraryShows(inWord, outWord));
        iolb_board_setcallback(0, nullptr, nullptr);

        const auto reports = recorder.snapshot();
        ASSERT_FALSE(reports.empty());
        std::set<unsigned char> frames;
        for (std::size_t i = 0; i < reports.size(); ++i) {
            const Report &r = reports[i];
            SCOPED_TRACE("report " + std::to_string(i));
            EXPECT_TRUE(frames.insert(r.frame).second) << "frame " << int(r.frame) << " twice";
            EXPECT_EQ(r.in & ~(1u << 5), 0u);
            EXPECT_EQ(r.out & ~(1u << 6), 0u);
            EXPECT_TRUE(r.in != r.inLast || r.out != r.outLast);
            if (i > 0) {
                EXPECT_EQ(r.inLast, reports[i - 1].in);
                EXPECT_EQ(r.outLast, reports[i - 1].out);
            }
        }
        EXPECT_EQ(reports.back().in, inWord);
        EXPECT_EQ(reports.back().out, outWord);
        iolb_board_close(0);
    }
}

// A restart's report carries the card's words with frame number 0: here the first the library
// hears of an input and an output that changed while the card was silent.
TEST_F(NetFaults, RestartReportGivesTheCardsWords)
{
    HostProcess host;
    ASSERT_TRUE(host.started());
    ASSERT_EQ(iolb_board_open(host.portText().c_str(), 0), 0);
    ASSERT_EQ(iolb_write_outbit(0, 2, 1), 0);
    ASSERT_EQ(iolb_write_outbit(0, 9, 1), 0);
    host.sendLine("fault 0 silent 0");
    ASSERT_TRUE(host.waitForLine("fault 0 silent on"));
    host.setInput(4, true);
    EXPECT_EQ(iolb_write_outbit(0, 9, 0), IOLB_ERR_WRITE_TIMEOUT);
    ASSERT_TRUE(host.waitForLine("out 9 0"));
    ASSERT_EQ(iolb_board_setcallback(0, &Recorder::callback, &rec), 0);

    host.sendLine("fault 0 off");
    host.sendLine("fault 0 restart");
    EXPECT_TRUE(libraryShows(1u << 4, 1u << 2));
    unsigned char frame = 0xEE;
    EXPECT_EQ(iolb_board_getcurframeno(0, &frame), 0);
    EXPECT_EQ(frame, 0);
    ASSERT_TRUE(waitUntil([&] { return !rec.snapshot().empty(); }));
    const Report r = rec.snapshot().back();
    EXPECT_EQ(r.in, 1u << 4);
    EXPECT_EQ(r.out, 1u << 2);
    EXPECT_EQ(r.frame, 0);

    // Counting goes on from 0.
    EXPECT_EQ(iolb_write_outbit(0, 2, 0), 0);
    EXPECT_TRUE(waitUntil([&] { return rec.snapshot().back().out == 0; }));
    EXPECT_EQ(rec.snapshot().back().frame, 1);
}

// Under steady load with every 5th frame garbled, a write fails exactly when its answer was
// hit: the card answers each write with one frame and nothing else is sent meanwhile.
TEST_F(NetFaults, WritesFailExactlyWhenTheirAnswersAreHit)
{
    HostProcess host;
    ASSERT_TRUE(host.started());
    ASSERT_EQ(iolb_board_open(host.portText().c_str(), 0), 0);
    host.sendLine("fault 0 corrupt 5");
    ASSERT_TRUE(host.waitForLine("fault 0 corrupt on"));
    unsigned word = 0;
    int failures = 0;
    auto longestStep = 0ms;
    for (int i = 0; i < 200; ++i) {
        const int bit = i % 32;
        const bool on = (word >> bit & 1u) == 0;
        const auto before = std::chrono::steady_clock::now();
        const int rc = iolb_write_outbit(0, bit, on ? 1 : 0);
        longestStep = std::max(longestStep, std::chrono::duration_cast<std::chrono::milliseconds>(
                                                std::chrono::steady_clock::now() - before));
        if (rc != 0) {
            EXPECT_EQ(rc, IOLB_ERR_WRITE_TIMEOUT);
            ++failures;
        }
        word ^= 1u << bit; // every command reaches the card; only its answers are garbled
    }
    host.sendLine("fault 0 off");
    const int hits = hitsUntil(host, "corrupt", "fault 0 corrupt off");
    EXPECT_GT(hits, 0);
    EXPECT_GT(failures, 0);
    EXPECT_LE(failures, hits);
    // A step as long as a heartbeat's period would let a heartbeat take a hit.
    if (longestStep < 1500ms) {
        EXPECT_EQ(failures, hits);
    }
    EXPECT_TRUE(libraryShows(0, word));
}
