#include "firmware/firmwareengine.h"
#include "firmware/rxqueue.h"
#include "link/cardframereader.h"
#include "link/commandframe.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

using namespace kavro;

TEST(RxQueue, ConcurrentProducerAndConsumerKeepEveryByteInOrder)
{
    firmware::RxQueue q;
    constexpr std::uint64_t total = 2'000'000;
    std::thread producer([&] {
        std::mt19937 rng(7);
        std::uniform_int_distribution<std::size_t> size(1, 5000);
        std::vector<std::uint8_t> chunk;
        std::uint64_t next = 0;
        while (next < total) {
            chunk.resize(std::min<std::uint64_t>(size(rng), total - next));
            for (auto &b : chunk)
                b = std::uint8_t((next++ * 131) >> 3);
            q.push(chunk.data(), chunk.size());
        }
    });
    std::uint64_t got = 0;
    std::uint64_t wrong = 0;
    std::uint8_t b;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (got < total && std::chrono::steady_clock::now() < deadline) {
        if (q.pop(b)) {
            wrong += b != std::uint8_t((got * 131) >> 3);
            ++got;
        }
    }
    producer.join();
    EXPECT_EQ(got, total);
    EXPECT_EQ(wrong, 0u);
    EXPECT_FALSE(q.pop(b));
    EXPECT_EQ(q.pendingBytes(), 0u);
}

TEST(RxQueue, DiscardAllDropsWhatWasPublished)
{
    firmware::RxQueue q;
    std::vector<std::uint8_t> bytes(100, 0xAA);
    q.push(bytes.data(), 60);
    q.push(bytes.data(), 40);
    std::uint8_t b;
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(q.pop(b));
    EXPECT_EQ(q.pendingBytes(), 90u);
    q.discardAll();
    EXPECT_FALSE(q.pop(b));
    EXPECT_EQ(q.pendingBytes(), 0u);
    const std::uint8_t fresh[] = {1, 2, 3};
    q.push(fresh, 3);
    for (std::uint8_t want : fresh) {
        ASSERT_TRUE(q.pop(b));
        EXPECT_EQ(b, want);
    }
}

namespace {

// The port of a card on its own thread: frames and outputs arrive on the firmware thread.
class ThreadedPort : public firmware::FirmwarePort
{
public:
    bool GetInBitLevel(std::uint8_t, std::uint8_t nBit) override
    {
        return (inputs.load(std::memory_order_relaxed) >> nBit) & 1u;
    }
    void SetOutBitLevel(std::uint8_t, std::uint8_t, bool) override {}
    void SendBuf(link::CardWireFrame frame) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        reader.feed(frame.data(), frame.size(),
                    [&](const link::CardFrame &f) { frames.push_back(f); });
    }
    std::size_t frameCount()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return frames.size();
    }

    std::atomic<std::uint32_t> inputs{0};
    std::mutex mutex;
    link::CardFrameReader reader;
    std::vector<link::CardFrame> frames;
};

} // namespace

TEST(FirmwareThread, RealLoopExecutesAFloodAndStopsOnRequest)
{
    ThreadedPort port;
    firmware::FirmwareEngine engine(port);
    std::atomic<bool> stop{false};
    std::thread firmware([&] { engine.runFirmware(stop); });

    auto waitFor = [&](std::size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (port.frameCount() < count && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return port.frameCount();
    };
    ASSERT_EQ(waitFor(1), 1u) << "restart report";

    std::vector<std::uint8_t> bytes;
    for (std::uint32_t i = 1; i <= 1000; ++i) {
        const auto w = link::CommandFrame::make(link::Command::WriteOutWord, 0, 0, i << 1).encode();
        bytes.insert(bytes.end(), w.begin(), w.end());
    }
    engine.ReciveData(bytes.data(), bytes.size());
    ASSERT_GE(waitFor(1001), 1001u);

    port.inputs = 0x5;
    ASSERT_GE(waitFor(1002), 1002u) << "input scan on the real clock";

    stop = true;
    firmware.join();

    std::uint32_t expected = 1;
    for (const auto &f : port.frames) {
        if (f.kind() != link::CardFrameKind::GroupReport || f.sequence == 0 || f.inputWord() != 0)
            continue;
        ASSERT_EQ(f.outputWord(), expected << 1);
        ++expected;
    }
    EXPECT_EQ(expected, 1001u);
    EXPECT_EQ(port.frames.back().inputWord(), 0x5u);
}
