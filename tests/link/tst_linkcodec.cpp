#include "link/cardframe.h"
#include "link/commandframe.h"
#include "link/linkcodec.h"

#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

using namespace kavro::link;

namespace {

std::vector<std::uint8_t> fromHex(const std::string &hex)
{
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(std::uint8_t(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

PlainFrame toPlain(const std::vector<std::uint8_t> &v)
{
    PlainFrame p{};
    std::copy(v.begin(), v.begin() + 15, p.begin());
    return p;
}

struct Vector
{
    bool command; // client to card
    std::vector<std::uint8_t> plain;
    std::vector<std::uint8_t> sent;
};

struct VectorFile
{
    KeyTable key{};
    std::vector<Vector> vectors;
};

// The vector file is plain enough that two regular expressions read it; a pair belongs to the
// section whose name stands last before it.
VectorFile loadVectors()
{
    std::ifstream in(std::string(KAVRO_TEST_DATA_DIR) + "/board-link.json");
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string text = ss.str();

    VectorFile file;
    std::smatch m;
    if (std::regex_search(text, m, std::regex(R"re("key"\s*:\s*"([0-9a-fA-F]{28})")re"))) {
        const auto key = fromHex(m[1]);
        std::copy(key.begin(), key.end(), file.key.begin());
    }
    const auto commandsAt = text.find("command_frames_client_to_card");
    const auto cardsAt = text.find("card_frames_card_to_client");
    const std::regex pair(
        R"re("plain"\s*:\s*"([0-9a-fA-F]+)"\s*,\s*"sent"\s*:\s*"([0-9a-fA-F]+)")re");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), pair);
         it != std::sregex_iterator(); ++it) {
        const auto at = std::size_t(it->position());
        const bool command = (at > commandsAt) && (cardsAt < commandsAt || at < cardsAt);
        file.vectors.push_back({command, fromHex((*it)[1]), fromHex((*it)[2])});
    }
    return file;
}

} // namespace

TEST(LinkCodec, ReproducesEveryIndependentVectorInBothDirections)
{
    const VectorFile file = loadVectors();
    ASSERT_EQ(file.vectors.size(), 18u) << "vector file not found or not understood";
    int commands = 0;
    for (const Vector &v : file.vectors) {
        ASSERT_EQ(v.plain.size(), 15u);
        ASSERT_EQ(v.sent.size(), 16u);
        const PlainFrame plain = toPlain(v.plain);
        const WireFrame sent =
            v.command ? scrambleCommandFrame(plain, file.key) : scrambleCardFrame(plain, file.key);
        EXPECT_EQ(std::vector<std::uint8_t>(sent.begin(), sent.end()), v.sent);
        const PlainFrame back = v.command ? descrambleCommandFrame(v.sent.data(), file.key)
                                          : descrambleCardFrame(v.sent.data(), file.key);
        EXPECT_EQ(back, plain);
        EXPECT_TRUE(checksumMatches(v.sent.data()));
        if (v.command) {
            ++commands;
            auto decoded = CommandFrame::decode(v.sent.data(), file.key);
            ASSERT_TRUE(decoded);
            EXPECT_EQ(decoded->plain(), plain);
        } else {
            auto decoded = CardFrame::decode(v.sent.data(), file.key);
            ASSERT_TRUE(decoded);
            EXPECT_EQ(decoded->plain(), plain);
        }
    }
    EXPECT_EQ(commands, 10);
}

TEST(LinkCodec, PlainFramesHaveTheirFixedLayout)
{
    const std::uint8_t s = 0x42;
    const PlainFrame setOutBit = CommandFrame::make(Command::SetOutBit, 0, 5, 0, s).plain();
    const PlainFrame expectedCmd = {0xFA, 0x5A, 0x53, 0xFF, 0x01, s,    0x00, 0x00,
                                    0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(setOutBit, expectedCmd);

    const PlainFrame report =
        CardFrame::groupReport(7, 0x01, 0, 0x00000001, 0x00000020, std::uint8_t(7 + s)).plain();
    const PlainFrame expectedCard = {0xFA, 0x5A, 0x07, 0x00, std::uint8_t(0x07 + s),
                                     0x01, 0x00, 0x00, 0x00, 0x00,
                                     0x01, 0x00, 0x00, 0x00, 0x20};
    EXPECT_EQ(report, expectedCard);
}

TEST(LinkCodec, WordsTravelMostSignificantByteFirst)
{
    const PlainFrame p = CardFrame::groupReport(1, 0, 0, 0x80000000u, 0x00000001u, 0).plain();
    EXPECT_EQ(p[7], 0x80);  // input 31 is the highest bit of byte 7
    EXPECT_EQ(p[14], 0x01); // output 0 is the lowest bit of byte 14
}

TEST(LinkCodec, ScramblingIsInvertibleForEverySelector)
{
    for (int sel = 0; sel < 256; ++sel) {
        PlainFrame plain{};
        for (std::size_t i = 0; i < plain.size(); ++i)
            plain[i] = std::uint8_t(sel * 31 + i * 97 + 13);

        PlainFrame card = plain;
        card[4] = std::uint8_t(sel);
        const WireFrame cw = scrambleCardFrame(card);
        EXPECT_EQ(cw[4], sel) << "card selector travels in the clear";
        EXPECT_EQ(descrambleCardFrame(cw.data()), card) << "selector " << sel;

        PlainFrame cmd = plain;
        cmd[5] = std::uint8_t(sel);
        const WireFrame mw = scrambleCommandFrame(cmd);
        EXPECT_EQ(mw[5], sel) << "command selector travels in the clear";
        EXPECT_EQ(descrambleCommandFrame(mw.data()), cmd) << "selector " << sel;
    }
}

TEST(LinkCodec, SelectorPicksTheKeyWindowModuloThree)
{
    // A key byte matters to a frame exactly when it lies inside the selector's window.
    const KeyTable base = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
    for (int sel : {0, 1, 2, 255}) {
        const std::size_t first = std::size_t(sel % 3);
        PlainFrame card{};
        card[4] = std::uint8_t(sel);
        PlainFrame cmd{};
        cmd[5] = std::uint8_t(sel);
        for (std::size_t i = 0; i < base.size(); ++i) {
            KeyTable changed = base;
            changed[i] ^= 0xFF;
            const bool inWindow = i >= first && i < first + 12;
            EXPECT_EQ(scrambleCardFrame(card, base) != scrambleCardFrame(card, changed), inWindow)
                << "card frame, selector " << sel << ", key byte " << i;
            EXPECT_EQ(scrambleCommandFrame(cmd, base) != scrambleCommandFrame(cmd, changed),
                      inWindow)
                << "command frame, selector " << sel << ", key byte " << i;
        }
    }
}

TEST(LinkCodec, ChecksumIsTakenOverTransmittedBytes)
{
    const CommandFrame f = CommandFrame::make(Command::WriteOutWord, 0, 0, 0xDEADBEEF, 9);
    const WireFrame w = f.encode();
    unsigned wireSum = 0;
    unsigned plainSum = 0;
    const PlainFrame p = f.plain();
    for (int i = 0; i < 15; ++i) {
        wireSum += w[std::size_t(i)];
        plainSum += p[std::size_t(i)];
    }
    EXPECT_EQ(w[15], std::uint8_t(wireSum));
    EXPECT_NE(w[15], std::uint8_t(plainSum));

    WireFrame bad = w;
    bad[9] ^= 0x01;
    EXPECT_FALSE(CommandFrame::decode(bad.data()));
}

TEST(LinkCodec, TypedFramesRoundTrip)
{
    const CommandFrame pulse = CommandFrame::makePulser(0x13, 2, 100, 50, 7, 200);
    const auto back = CommandFrame::decode(pulse.encode().data());
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, pulse);
    EXPECT_EQ(back->pulseCount(), 2);
    EXPECT_EQ(back->setTimeMs(), 100);
    EXPECT_EQ(back->clearTimeMs(), 50);
    EXPECT_EQ(back->startDelayMs(), 7);

    struct Case
    {
        const char *name;
        CardFrame frame;
        CardFrameKind kind;
    };
    const std::array<std::uint8_t, 8> flags = {0, 0, 0, 1, 0, 0, 0, 1};
    const Case cases[] = {
        {"group report", CardFrame::groupReport(9, 0x07, 0, 0x12345678, 0x9ABCDEF0, 17),
         CardFrameKind::GroupReport},
        {"pulser answer", CardFrame::pulserStatus(3, 0x11, 1, flags, 4),
         CardFrameKind::PulserStatus},
        {"trains ended", CardFrame::pulserStatus(3, 0x10, 0, flags, 4),
         CardFrameKind::PulserStatus},
        {"heartbeat", CardFrame::heartbeat(200, 201), CardFrameKind::Heartbeat},
        {"blank reply", CardFrame::blankReply(5, 0x33, 6), CardFrameKind::BlankReply},
    };
    for (const Case &c : cases) {
        const auto wire = c.frame.encodeForWire();
        EXPECT_EQ(wire[16], 0x00) << c.name;
        const auto decoded = CardFrame::decode(wire.data());
        ASSERT_TRUE(decoded) << c.name;
        EXPECT_EQ(*decoded, c.frame) << c.name;
        EXPECT_EQ(decoded->kind(), c.kind) << c.name;
    }
    EXPECT_TRUE(CardFrame::pulserStatus(0, 0x11, 1, flags, 0).pulserRunning(7));
    EXPECT_FALSE(CardFrame::pulserStatus(0, 0x11, 1, flags, 0).pulserRunning(0));
}
