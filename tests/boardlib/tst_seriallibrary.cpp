// The serial board library over a pseudo-terminal that socat bridges to a board host, as a
// serial cable to a card would be.
#include "hostprocess.h"
#include "kavro_iolb.h"
#include "ptybridge.h"
#include "waituntil.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace std::chrono_literals;

TEST(SerialLibrary, CardBehindAPseudoTerminal)
{
    HostProcess host;
    ASSERT_TRUE(host.started());
    PtyBridge bridge(host.port());
    ASSERT_TRUE(bridge.ready());

    EXPECT_EQ(iolb_board_open("/dev/kavro-no-such-port", 0), 2);
    ASSERT_EQ(iolb_board_open(bridge.port().c_str(), 1), 0);
    unsigned char version = 0, type = 0;
    EXPECT_EQ(iolb_board_getboardinfo(1, &version, &type), 0);
    EXPECT_EQ(type, 7);
    EXPECT_EQ(version, 12);
    EXPECT_EQ(iolb_board_isconnected(1), 1);

    host.setInput(7, true);
    EXPECT_TRUE(waitUntil([] { return iolb_read_inport(1, 0) == (1u << 7); }));
    EXPECT_EQ(iolb_write_outbit(1, 2, 1), 0);
    EXPECT_TRUE(host.waitForLine("out 2 1"));
    EXPECT_EQ(iolb_board_pulser_pulse(1, 4, 1, 2, 10, 10, 0), 0);
    EXPECT_TRUE(host.waitForLine("out 4 1"));
    EXPECT_EQ(iolb_board_close(1), 0);
}
