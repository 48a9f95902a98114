#include "cardharness.h"

#include <gtest/gtest.h>

using namespace kavro;

CardHarness::CardHarness() = default;

bool CardHarness::GetInBitLevel(std::uint8_t group, std::uint8_t nBit)
{
    ++inputQueries;
    EXPECT_EQ(group, 0);
    EXPECT_LT(nBit, 32);
    return CardLevels::GetInBitLevel(group, nBit);
}

void CardHarness::SetOutBitLevel(std::uint8_t group, std::uint8_t nBit, bool bH)
{
    EXPECT_EQ(group, 0) << "output notification outside the card";
    EXPECT_LT(nBit, 32) << "output notification outside the card";
    CardLevels::SetOutBitLevel(group, nBit, bH);
    outputEvents.push_back({group, nBit, !bH});
}

void CardHarness::SendBuf(link::CardWireFrame frame)
{
    int found = 0;
    reader_.feed(frame.data(), frame.size(), [&](const link::CardFrame &f) {
        frames.push_back(f);
        ++found;
    });
    EXPECT_EQ(found, 1) << "every 17 bytes the card sends hold exactly one frame";
}

void CardHarness::startCard()
{
    nowNs = 0;
    engine.start();
}

void CardHarness::sendBytes(const std::vector<std::uint8_t> &bytes)
{
    engine.ReciveData(bytes.data(), bytes.size());
    drain();
}

void CardHarness::send(const link::CommandFrame &cmd)
{
    const link::WireFrame w = cmd.encode();
    sendBytes(std::vector<std::uint8_t>(w.begin(), w.end()));
}

void CardHarness::drain()
{
    // One byte per pass; one more pass lets change detection see the last command.
    while (engine.pendingBytes() > 0)
        engine.pass(nowNs);
    engine.pass(nowNs);
}

void CardHarness::advanceMs(double ms)
{
    const auto steps = std::uint64_t(ms * 2.0 + 0.5);
    for (std::uint64_t i = 0; i < steps; ++i) {
        nowNs += firmware::FirmwareEngine::TickNs;
        engine.pass(nowNs);
    }
}

void CardHarness::clearRecords()
{
    outputEvents.clear();
    frames.clear();
}

std::vector<link::CardFrame> CardHarness::framesOf(link::CardFrameKind kind) const
{
    std::vector<link::CardFrame> out;
    for (const auto &f : frames)
        if (f.kind() == kind)
            out.push_back(f);
    return out;
}
