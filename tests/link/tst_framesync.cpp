#include "link/cardframereader.h"
#include "link/commandwindow.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace kavro::link;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes wire(const CommandFrame &f)
{
    const WireFrame w = f.encode();
    return Bytes(w.begin(), w.end());
}

Bytes wire(const CardFrame &f)
{
    const CardWireFrame w = f.encodeForWire();
    return Bytes(w.begin(), w.end());
}

Bytes operator+(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Executed
{
    std::vector<CommandFrame> commands;
    std::vector<std::size_t> at; // index of the byte that completed each frame
    int badHeaders = 0;
};

Executed runWindow(const Bytes &bytes, CommandWindow &window)
{
    Executed out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        switch (window.push(bytes[i])) {
        case CommandWindow::Result::Command:
            out.commands.push_back(window.command());
            out.at.push_back(i);
            break;
        case CommandWindow::Result::BadHeader:
            ++out.badHeaders;
            break;
        case CommandWindow::Result::Pending:
            break;
        }
    }
    return out;
}

} // namespace

TEST(CommandWindow, FindsFramesWhateverTheirSurroundings)
{
    const CommandFrame a = CommandFrame::make(Command::SetOutBit, 0, 5, 0, 10);
    const CommandFrame b = CommandFrame::make(Command::WriteOutWord, 0, 0, 0xA5A5A5A5, 11);
    struct Case
    {
        const char *name;
        Bytes bytes;
        std::vector<std::size_t> completesAt;
    };
    const Case cases[] = {
        {"back to back", wire(a) + wire(b), {15, 31}},
        {"one junk byte in front costs one byte", Bytes{0x77} + wire(a), {16}},
        {"card trailer between frames is skipped", wire(a) + Bytes{0x00} + wire(b), {15, 32}},
        {"three junk bytes, then two frames", Bytes{1, 2, 3} + wire(a) + wire(b), {18, 34}},
    };
    for (const Case &c : cases) {
        CommandWindow window;
        const Executed e = runWindow(c.bytes, window);
        EXPECT_EQ(e.at, c.completesAt) << c.name;
        ASSERT_EQ(e.commands.size(), c.completesAt.size()) << c.name;
        EXPECT_EQ(e.commands[0], a) << c.name;
        if (e.commands.size() > 1) {
            EXPECT_EQ(e.commands[1], b) << c.name;
        }
    }
}

TEST(CommandWindow, FrameSplitIntoSingleBytesExecutesOnceAtItsLastByte)
{
    // The window keeps its state between deliveries; feeding byte by byte is the worst split.
    const CommandFrame a = CommandFrame::make(Command::ReadGroup, 0, 0, 0, 77);
    const Bytes bytes = wire(a);
    CommandWindow window;
    int executed = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto r = window.push(bytes[i]);
        if (r == CommandWindow::Result::Command) {
            ++executed;
            EXPECT_EQ(i, bytes.size() - 1);
        }
    }
    EXPECT_EQ(executed, 1);
    EXPECT_EQ(window.selectorByte(), 77) << "the frame's selector stays in the window";
}

TEST(CommandWindow, GoodChecksumWithForeignHeaderIsConsumedWithoutCommand)
{
    // A card frame has a valid checksum but not a command header.
    CommandWindow window;
    const CommandFrame after = CommandFrame::make(Command::BlankQuery, 3, 0, 0, 5);
    PlainFrame foreign = CommandFrame::make(Command::SetOutBit, 0, 1).plain();
    foreign[2] = 0x54;
    const WireFrame w = scrambleCommandFrame(foreign);
    const Executed e = runWindow(Bytes(w.begin(), w.end()) + wire(after), window);
    EXPECT_EQ(e.badHeaders, 1);
    ASSERT_EQ(e.commands.size(), 1u);
    EXPECT_EQ(e.commands[0], after);
}

TEST(CommandWindow, RandomGarbageExecutesNothing)
{
    std::mt19937 rng(20261211);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> length(1, 200);
    int falseExecutions = 0;
    int checksumHits = 0;
    for (int buffer = 0; buffer < 20000; ++buffer) {
        CommandWindow window;
        Bytes garbage(std::size_t(length(rng)));
        for (auto &b : garbage)
            b = std::uint8_t(byte(rng));
        const Executed e = runWindow(garbage, window);
        falseExecutions += int(e.commands.size());
        checksumHits += e.badHeaders;
    }
    EXPECT_EQ(falseExecutions, 0);
    // Matching checksums are common in garbage (about one window in 256); the header is
    // what keeps them from executing.
    EXPECT_GT(checksumHits, 0);
}

TEST(CardFrameReader, ReadsCardFramesInAnySplit)
{
    const CardFrame r1 = CardFrame::groupReport(1, 0x01, 0, 0x00000010, 0x00000020, 6);
    const CardFrame r2 = CardFrame::heartbeat(1, 9);
    const CardFrame r3 = CardFrame::blankReply(1, 0x44, 9);
    const Bytes stream = wire(r1) + wire(r2) + wire(r3);

    for (std::size_t chunk : {std::size_t(1), std::size_t(5), std::size_t(17), stream.size()}) {
        CardFrameReader reader;
        std::vector<CardFrame> got;
        for (std::size_t i = 0; i < stream.size(); i += chunk)
            reader.feed(stream.data() + i, std::min(chunk, stream.size() - i),
                        [&](const CardFrame &f) { got.push_back(f); });
        ASSERT_EQ(got.size(), 3u) << "chunk " << chunk;
        EXPECT_EQ(got[0], r1);
        EXPECT_EQ(got[1], r2);
        EXPECT_EQ(got[2], r3);
        EXPECT_EQ(reader.skippedBytes(), 0u) << "trailers are expected, not skipped";
    }
}

TEST(CardFrameReader, RecoversAfterJunkAndMissingTrailer)
{
    const CardFrame r1 = CardFrame::groupReport(2, 0x00, 0, 1, 2, 3);
    const CardFrame r2 = CardFrame::groupReport(3, 0x00, 0, 4, 5, 6);
    const WireFrame bare = r2.encode(); // no trailer
    const Bytes stream = Bytes{0x13, 0x37} + wire(r1) + Bytes(bare.begin(), bare.end()) + wire(r1);
    CardFrameReader reader;
    std::vector<CardFrame> got;
    reader.feed(stream.data(), stream.size(), [&](const CardFrame &f) { got.push_back(f); });
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], r1);
    EXPECT_EQ(got[1], r2);
    EXPECT_EQ(got[2], r1);
    EXPECT_EQ(reader.skippedBytes(), 2u);
}
