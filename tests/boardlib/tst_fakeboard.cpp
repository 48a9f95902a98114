// The stand-in library that the panel and shell tests script.
#include "fakeboard.h"

#include <gtest/gtest.h>
#include <thread>

using kavro::fake::FakeBoard;

TEST(FakeBoard, AnswersAsScriptedAndRecordsInOrder)
{
    FakeBoard &fake = FakeBoard::instance();
    fake.reset();
    fake.setResult("iolb_write_outbit", 22);
    fake.setBoardInfo(9, 2);
    fake.setWords(3, 0, 0x11, 0x22);

    EXPECT_EQ(iolb_board_open("10.0.0.5:8088", 3), 0);
    EXPECT_TRUE(fake.isOpen(3));
    unsigned char version = 0, type = 0;
    EXPECT_EQ(iolb_board_getboardinfo(3, &version, &type), 0);
    EXPECT_EQ(version, 9);
    EXPECT_EQ(type, 2);
    EXPECT_EQ(iolb_read_inport(3, 0), 0x11u);
    EXPECT_EQ(iolb_write_outbit(3, 1, 1), 22);
    EXPECT_EQ(iolb_read_outport(3, 0), 0x22u) << "a failed write changes nothing";

    const auto calls = fake.calls();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0].function, "iolb_board_open");
    EXPECT_EQ(calls[0].text, "10.0.0.5:8088");
    EXPECT_EQ(calls[3].function, "iolb_write_outbit");
    EXPECT_EQ(calls[3].args, (std::vector<long long>{3, 1, 1}));
    iolb_board_close(3);
    EXPECT_FALSE(fake.isOpen(3));
}

TEST(FakeBoard, FiresTheCallbackFromAnotherThread)
{
    FakeBoard &fake = FakeBoard::instance();
    fake.reset();
    ASSERT_EQ(iolb_board_open("PCIE", 1), 0);
    EXPECT_FALSE(fake.fireCallback(1, 0, 1, 2, 3, 4, 5));

    struct Seen
    {
        std::thread::id thread;
        unsigned in = 0, outLast = 0;
        unsigned char frame = 0;
    } seen;
    iolb_board_setcallback(
        1,
        [](void *ctx, unsigned short, unsigned short, unsigned in, unsigned, unsigned,
           unsigned outLast, unsigned char frame) {
            auto *s = static_cast<Seen *>(ctx);
            s->thread = std::this_thread::get_id();
            s->in = in;
            s->outLast = outLast;
            s->frame = frame;
        },
        &seen);
    ASSERT_TRUE(fake.fireCallback(1, 0, 0xA, 0xB, 0xC, 0xD, 42));
    EXPECT_NE(seen.thread, std::this_thread::get_id());
    EXPECT_EQ(seen.in, 0xAu);
    EXPECT_EQ(seen.outLast, 0xDu);
    EXPECT_EQ(seen.frame, 42);
    iolb_board_setcallback(1, nullptr, nullptr);
    EXPECT_FALSE(fake.hasCallback(1));
}
