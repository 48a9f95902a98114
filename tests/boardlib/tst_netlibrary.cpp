// The network board library through its C interface, against kavro-board-host processes.
#include "hostprocess.h"
#include "kavro_iolb.h"
#include "waituntil.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <dirent.h>
#include <gtest/gtest.h>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;

namespace {

struct Report
{
    unsigned short comno, group;
    unsigned in, out, inLast, outLast;
    unsigned char frame;
};

// Collects callback reports; the callback only stores, as a tester's panel does.
struct Recorder
{
    std::mutex mutex;
    std::vector<Report> reports;
    std::vector<std::chrono::steady_clock::time_point> times;

    static void callback(void *ctx, unsigned short comno, unsigned short group, unsigned in,
                         unsigned out, unsigned inLast, unsigned outLast, unsigned char frame)
    {
        auto *self = static_cast<Recorder *>(ctx);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->reports.push_back({comno, group, in, out, inLast, outLast, frame});
        self->times.push_back(std::chrono::steady_clock::now());
    }
    std::vector<Report> snapshot()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return reports;
    }
};

// A port that refuses connections: bound, then closed again.
unsigned short closedPort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr *>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

int openFiles()
{
    int n = 0;
    if (DIR *d = ::opendir("/proc/self/fd")) {
        while (::readdir(d))
            ++n;
        ::closedir(d);
    }
    return n;
}

class NetLibrary : public ::testing::Test
{
protected:
    void TearDown() override
    {
        for (unsigned short c = 0; c < 16; ++c)
            iolb_board_close(c);
    }

    // Outlives TearDown, so a callback still installed there never writes into a gone recorder.
    Recorder rec;
};

} // namespace

TEST_F(NetLibrary, OpenRefusesWhatItCannotOpen)
{
    HostProcess host;
    ASSERT_TRUE(host.started());
    const std::string good = host.portText();
    struct Case
    {
        std::string text;
        unsigned short comno;
        int result;
    };
    const std::string refused = "127.0.0.1:" + std::to_string(closedPort());
    const Case cases[] = {
        {good, 16, 1},
        {good, 65535, 1},
        {"", 0, 2},
        {"127.0.0.1", 0, 2},
        {"localhost:" + std::to_string(host.port()), 0, 2},
        {"127.0.0.1:0", 0, 2},
        {"127.0.0.1:70000", 0, 2},
        {"127.0.0.1:80x", 0, 2},
        {"1.2.3.4.5:80", 0, 2},
        {refused, 0, 2},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(iolb_board_open(c.text.c_str(), c.comno), c.result) << "'" << c.text << "'";
        EXPECT_EQ(iolb_board_getcurframeno(0, nullptr), 4) << "nothing stays open";
    }
    EXPECT_EQ(iolb_board_open(nullptr, 0), 2);

    ASSERT_EQ(iolb_board_open(good.c_str(), 3), 0);
    EXPECT_EQ(iolb_board_open(good.c_str(), 3), 6);
    EXPECT_EQ(iolb_board_getcurframeno(3, nullptr), 0);
}

TEST_F(NetLibrary, CardThatNeverAnswersTimesOut)
{
    // Connections complete in the listen backlog, but nothing ever answers.
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(s, 4), 0);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr *>(&a), &len);
    const std::string text = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    EXPECT_EQ(iolb_board_open(text.c_str(), 0), 15);
    EXPECT_EQ(iolb_board_close(0), 4);
    ::close(s);
}

TEST_F(NetLibrary, CallsOnACardThatIsNotOpen)
{
    unsigned char b = 0x55;
    EXPECT_EQ(iolb_board_close(2), 4);
    EXPECT_EQ(iolb_board_isconnected(2), 0);
    EXPECT_EQ(iolb_board_getboardinfo(2, &b, &b), 4);
    EXPECT_EQ(iolb_board_getcurframeno(2, &b), 4);
    EXPECT_EQ(iolb_board_setcallback(2, &Recorder::callback, nullptr), 4);
    EXPECT_EQ(iolb_read_inport(2, 0), 0u);
    EXPECT_EQ(iolb_read_outport(2, 0), 0u);
    EXPECT_EQ(iolb_read_outbit(2, 0), 0);
    EXPECT_EQ(iolb_write_outbit(2, 0, 1), 4);
    EXPECT_EQ(iolb_write_delayOff(2, 18, 1), 4);
    EXPECT_EQ(iolb_board_pulser_isbusy(2, 0, &b), 4);
    EXPECT_EQ(iolb_board_pulser_pulse(2, 0, 1, 1, 1, 1, 0), 4);
    EXPECT_EQ(iolb_board_pulser_terminate(2, 0), 4);
    EXPECT_EQ(iolb_board_close(60000), 4);
    EXPECT_EQ(b, 0x55) << "out values untouched";
}

TEST_F(NetLibrary, IdentityLinkStateAndFrameNumber)
{
    HostProcess host;
    ASSERT_TRUE(host.started());
    ASSERT_EQ(iolb_board_open(host.portText().c_str(), 7), 0);
    unsigned char version = 0, type = 0, frame = 0xEE;
    EXPECT_EQ(iolb_board_getboardinfo(7, &version, &type), 0);
    EXPECT_EQ(version, 12);
    EXPECT_EQ(type, 7);
    EXPECT_EQ(iolb_board_isconnected(7), 1);
    EXPECT_EQ(iolb_board_getcurframeno(7, &frame), 0);
    EXPECT_EQ(frame, 1) << "the card's first report after the restart turns 0 into 1";
    EXPECT_EQ(iolb_read_inport(7, 1), 0u);
    EXPECT_EQ(iolb_read_outbit(7, 32), 0);
}

TEST_F(NetLibrary, WriteOutBitSwitchesTheCardAndReadsBack)
{
    HostProcess host;
    ASSERT_TRUE(host.started());
    ASSERT_EQ(iolb_board_open(host.portText().c_str(), 0), 0);
    EXPECT_EQ(iolb_write_outbit(0, 32, 1), 16);
    EXPECT_EQ(iolb_write_outbit(0, -1, 1), 16);
    EXPECT_EQ(iolb_write_outbit(0, 3, 1), 0);
    EXPECT_TRUE(host.waitForLine("out 3 1"));
    EXPECT_EQ(iolb_read_outbit(0, 3), 1);
    EXPECT_EQ(iolb_read_outport(0, 0), 1u << 3);
    EXPECT_EQ(iolb_write_outbit(0, 31, 1), 0);
    EXPECT_TRUE(host.waitForLine("out 31 1"));
    EXPECT_EQ(iolb_write_outbit(0, 3, 0), 0);
    EXPECT_TRUE(host.waitForLine("out 3 0"));
    EXPECT_EQ(iolb_read_outport(0, 0), 1u << 31);
}

// Two clients of one card: a write must be confirmed even when the other client has just put
// the output where this one wants it, so that the card answers with no report of its own.
TEST_F(NetLibrary, WritesOfTwoClientsOnOneCard)
{
    HostProcess host;
    ASSERT_TRUE(host.started());
    ASSERT_EQ(iolb_board_open(host.portText().c_str(), 0), 0);
    ASSERT_EQ(iolb_board_open(host.portText().c_str(), 1), 0);
    for (int i = 0; i < 40; ++i) {
        const int level = i % 2 == 0;
        ASSERT_EQ(iolb_write_outbit(1, 5, level), 0) << "round " << i;
        ASSERT_EQ(iolb_write_outbit(0, 5, level), 0) << "round " << i;
    }
    // Both at once on one output: each write either holds or is undone by the other client
    // before its read-back; none goes unanswered.
    std::atomic<int> timeouts{0};
    auto hammer = [&](unsigned short comno) {
        for (int i = 0; i < 100; ++i) {
            const int rc = iolb_write_outbit(comno, 9, (i + comno) % 2);
            if (rc != 0 && rc != 22)
                ++timeouts;
        }
    };
    std::thread other(hammer, 1);
    hammer(0);
    other.join();
    EXPECT_EQ(timeouts.load(), 0);
    EXPECT_EQ(iolb_write_outbit(0, 9, 1), 0);
    EXPECT_TRUE(waitUntil([] { return iolb_read_outbit(1, 9) == 1; }));
}

TEST_F(NetLibrary, TwoCardsOnTwoHosts)
{
    HostProcess a;
    HostProcess b;
    ASSERT_TRUE(a.started() && b.started());
    ASSERT_EQ(iolb_board_open(a.portText().c_str(), 0), 0);
    ASSERT_EQ(iolb_board_open(b.portText().c_str(), 15), 0);
    EXPECT_EQ(iolb_write_outbit(0, 1, 1), 0);
    EXPECT_EQ(iolb_write_outbit(15, 2, 1), 0);
    EXPECT_TRUE(a.waitForLine("out 1 1"));
    EXPECT_TRUE(b.waitForLine("out 2 1"));
    EXPECT_EQ(iolb_read_outport(0, 0), 0x2u);
    EXPECT_EQ(iolb_read_outport(15, 0), 0x4u);
    b.setInput(9, true);
    EXPECT_TRUE(waitUntil([] { return iolb_read_inport(15, 0) == (1u << 9); }));
    EXPECT_EQ(iolb_read_inport(0, 0), 0u);
}

TEST_F(NetLibrary, InputChangeReachesTheCallback)
{
    HostProcess host;
    ASSERT_TRUE(host.started());
    ASSERT_EQ(iolb_board_open(host.portText().c_str(), 4), 0);
    ASSERT_EQ(iolb_board_setcallback(4, &Recorder::callback, &rec), 0);
    host.setInput(5, true);
    ASSERT_TRUE(waitUntil([&] { return !rec.snapshot().empty(); }));
    const Report r = rec.snapshot().front();
    EXPECT_EQ(r.comno, 4);
    EXPECT_EQ(r.group, 0);
    EXPECT_EQ(r.in, 1u << 5);
    EXPECT_EQ(r.inLast, 0u);
    EXPECT_EQ(r.out, 0u);
    EXPECT_EQ(r.outLast, 0u);
    unsigned char frame = 0;
    iolb_board_getcurframeno(4, &frame);
    EXPECT_EQ(r.frame, frame);
    EXPECT_EQ(iolb_read_inport(4, 0), 1u << 5);

    // An output written by the library: one report with the previous words.
    EXPECT_EQ(iolb_write_outbit(4, 6, 1), 0);
    ASSERT_TRUE(waitUntil([&] { return rec.snapshot().size() >= 2; }));
    std::this_thread::sleep_for(50ms);
    const auto all = rec.snapshot();
    ASSERT_EQ(all.size(), 2u) << "the read-back changes nothing and reports nothing";
    EXPECT_EQ(all[1].out, 1u << 6);
    EXPECT_EQ(all[1].outLast, 0u);
    EXPECT_EQ(all[1].inLast, 1u << 5);
    EXPECT_EQ(std::uint8_t(all[1].frame), std::uint8_t(r.frame + 1));
}

TEST_F(NetLibrary, NoCallAfterRemovalReturns)
{
    HostProcess host;
    ASSERT_TRUE(host.started());
    ASSERT_EQ(iolb_board_open(host.portText().c_str(), 1), 0);

    struct Guard
    {
        std::atomic<int> calls{0};
        std::atomic<bool> removed{false};
        std::atomic<int> late{0};
    } guard;
    auto cb = [](void *ctx, unsigned short, unsigned short, unsigned, unsigned, unsigned, unsigned,
                 unsigned char) {
        auto *g = static_cast<Guard *>(ctx);
        ++g->calls;
        if (g->removed)
            ++g->late;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    };
    ASSERT_EQ(iolb_board_setcallback(1, cb, &guard), 0);

    std::atomic<bool> stop{false};
    std::thread flood([&] {
        for (int i = 0; !stop; ++i)
            iolb_write_outbit(1, i % 32, (i / 32) % 2 == 0);
    });
    ASSERT_TRUE(waitUntil([&] { return guard.calls > 20; }));
    iolb_board_setcallback(1, nullptr, nullptr);
    guard.removed = true;
    std::this_thread::sleep_for(200ms);
    stop = true;
    flood.join();
    EXPECT_EQ(guard.late, 0);
}

TEST_F(NetLibrary, CallbackMayRemoveItselfOrCloseTheCard)
{
    HostProcess host;
    ASSERT_TRUE(host.started());
    for (bool closeCard : {false, true}) {
        ASSERT_EQ(iolb_board_open(host.portText().c_str(), 2), 0);
        static std::atomic<int> calls;
        static bool closing;
        calls = 0;
        closing = closeCard;
        ASSERT_EQ(iolb_board_setcallback(
                      2,
                      [](void *, unsigned short comno, unsigned short, unsigned, unsigned, unsigned,
                         unsigned, unsigned char) {
                          ++calls;
                          if (closing)
                              iolb_board_close(comno);
                          else
                              iolb_board_setcallback(comno, nullptr, nullptr);
                      },
                      nullptr),
                  0);
        iolb_write_outbit(2, 0, 1);
        iolb_write_outbit(2, 0, 0);
        iolb_write_outbit(2, 0, 1);
        ASSERT_TRUE(waitUntil([] { return calls > 0; }));
        std::this_thread::sleep_for(100ms);
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(iolb_board_getcurframeno(2, nullptr), closeCard ? 4 : 0);
        iolb_board_close(2);
    }
}

TEST_F(NetLibrary, DelayedSwitchOffRunsOnTheCard)
{
    HostProcess host;
    ASSERT_TRUE(host.started());
    ASSERT_EQ(iolb_board_open(host.portText().c_str(), 0), 0);
    EXPECT_EQ(iolb_write_delayOff(0, 17, 4), 5);
    EXPECT_EQ(iolb_write_delayOff(0, 21, 4), 5);
    EXPECT_EQ(iolb_write_delayOff(0, 19, 0), 5);
    EXPECT_EQ(iolb_write_delayOff(0, 19, 10), 5);

    iolb_board_setcallback(0, &Recorder::callback, &rec);
    // The card arms the switch-off after this moment and reports its end after 2 s of its own
    // time, so the report cannot come sooner, however late the first one was delivered; a
    // loaded machine may only make it later.
    const auto sent = std::chrono::steady_clock::now();
    EXPECT_EQ(iolb_write_delayOff(0, 19, 4), 0);
    ASSERT_TRUE(waitUntil([&] { return rec.snapshot().size() >= 2; }, 15000ms));
    const auto reports = rec.snapshot();
    EXPECT_EQ(reports[0].out & 1u, 1u);
    EXPECT_EQ(reports[1].out & 1u, 0u);
    const auto offAfter =
        std::chrono::duration_cast<std::chrono::milliseconds>(rec.times[1] - sent);
    EXPECT_GE(offAfter.count(), 1995); // the card counts from its next 0.5 ms tick
    EXPECT_LT(offAfter.count(), 15000);
    EXPECT_TRUE(host.waitForLine("out 0 1"));
    EXPECT_TRUE(host.waitForLine("out 0 0"));
}

TEST_F(NetLibrary, PulserStartsReportsBusyAndTerminates)
{
    HostProcess host;
    ASSERT_TRUE(host.started());
    ASSERT_EQ(iolb_board_open(host.portText().c_str(), 0), 0);
    unsigned char busy = 0xEE;
    EXPECT_EQ(iolb_board_pulser_isbusy(0, 8, &busy), 17);
    EXPECT_EQ(iolb_board_pulser_pulse(0, 8, 1, 5, 10, 10, 0), 17);
    EXPECT_EQ(iolb_board_pulser_terminate(0, 8), 17);

    EXPECT_EQ(iolb_board_pulser_pulse(0, 2, 1, 0xFFFF, 20, 20, 0), 0);
    EXPECT_EQ(iolb_board_pulser_isbusy(0, 2, &busy), 0);
    EXPECT_EQ(busy, 1);
    EXPECT_TRUE(host.waitForLine("out 2 1"));
    EXPECT_TRUE(host.waitForLine("out 2 0"));
    EXPECT_EQ(iolb_board_pulser_terminate(0, 2), 0);
    EXPECT_EQ(iolb_board_pulser_isbusy(0, 2, &busy), 0);
    EXPECT_EQ(busy, 0);

    // A finite train ends by itself and the card reports it.
    EXPECT_EQ(iolb_board_pulser_pulse(0, 5, 0, 3, 10, 10, 0), 0);
    EXPECT_TRUE(waitUntil([&] {
        iolb_board_pulser_isbusy(0, 5, &busy);
        return busy == 0;
    }));
}

TEST_F(NetLibrary, ReconnectsAfterTheCardGoesAway)
{
    auto host = std::make_unique<HostProcess>();
    ASSERT_TRUE(host->started());
    const unsigned short port = host->port();
    ASSERT_EQ(iolb_board_open(host->portText().c_str(), 9), 0);
    iolb_board_setcallback(9, &Recorder::callback, &rec);

    host->kill();
    EXPECT_TRUE(waitUntil([] { return iolb_board_isconnected(9) == 0; }, 5000ms));
    unsigned char b;
    EXPECT_EQ(iolb_board_getboardinfo(9, &b, &b), 21);
    EXPECT_EQ(iolb_write_outbit(9, 0, 1), 21);
    EXPECT_EQ(iolb_board_pulser_pulse(9, 0, 1, 1, 1, 1, 0), 21);
    EXPECT_EQ(iolb_board_getcurframeno(9, nullptr), 0) << "still open";

    host = std::make_unique<HostProcess>(port);
    ASSERT_TRUE(host->started());
    host->setInput(9, true);
    EXPECT_TRUE(waitUntil([] { return iolb_board_isconnected(9) == 1; }, 5000ms));
    EXPECT_TRUE(waitUntil([] { return iolb_read_inport(9, 0) == (1u << 9); }, 5000ms));
    EXPECT_TRUE(waitUntil([&] {
        const auto r = rec.snapshot();
        return !r.empty() && r.back().in == (1u << 9);
    }));
    EXPECT_EQ(iolb_write_outbit(9, 4, 1), 0);
}

TEST_F(NetLibrary, OpenCloseCyclesLeaveNothingBehind)
{
    HostProcess host;
    ASSERT_TRUE(host.started());
    ASSERT_EQ(iolb_board_open(host.portText().c_str(), 0), 0);
    iolb_board_close(0);
    const int files = openFiles();
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(iolb_board_open(host.portText().c_str(), 0), 0) << "cycle " << i;
        ASSERT_EQ(iolb_board_close(0), 0);
    }
    EXPECT_TRUE(waitUntil([&] { return openFiles() <= files; }));
}
