// Board link codec and firmware engine throughput. Prints figures; asserts nothing.
#include "link/cardframe.h"
#include "link/cardframereader.h"
#include "link/commandframe.h"
#include "firmware/firmwareengine.h"

#include <benchmark/benchmark.h>
#include <vector>

using namespace kavro;

static void CardFrameEncode(benchmark::State &state)
{
    std::uint32_t word = 0;
    for (auto _ : state) {
        auto f = link::CardFrame::groupReport(std::uint8_t(word), 1, 0, word, ~word,
                                              std::uint8_t(word * 7));
        auto wire = f.encodeForWire();
        benchmark::DoNotOptimize(wire);
        ++word;
    }
    state.counters["frames/s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(CardFrameEncode);

static void CardFrameDecodeStream(benchmark::State &state)
{
    // A client's path: synchronise on a stream of 17-byte frames and take each apart.
    std::vector<std::uint8_t> stream;
    for (std::uint32_t i = 0; i < 1024; ++i) {
        const auto w = link::CardFrame::groupReport(std::uint8_t(i), 1, 0, i, ~i, std::uint8_t(i))
                           .encodeForWire();
        stream.insert(stream.end(), w.begin(), w.end());
    }
    link::CardFrameReader reader;
    std::uint64_t frames = 0;
    for (auto _ : state) {
        reader.feed(stream.data(), stream.size(), [&](const link::CardFrame &f) {
            benchmark::DoNotOptimize(f.outputWord());
            ++frames;
        });
    }
    state.counters["frames/s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(CardFrameDecodeStream);

static void CommandFrameEncodeDecode(benchmark::State &state)
{
    std::uint32_t i = 0;
    for (auto _ : state) {
        const auto w =
            link::CommandFrame::make(link::Command::WriteOutWord, 0, 0, i, std::uint8_t(i))
                .encode();
        auto back = link::CommandFrame::decode(w.data());
        benchmark::DoNotOptimize(back);
        ++i;
    }
    state.counters["frames/s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(CommandFrameEncodeDecode);

namespace {

class SinkPort : public firmware::FirmwarePort
{
public:
    bool GetInBitLevel(std::uint8_t, std::uint8_t nBit) override { return nBit == 3; }
    void SetOutBitLevel(std::uint8_t, std::uint8_t nBit, bool bH) override
    {
        benchmark::DoNotOptimize(nBit);
        benchmark::DoNotOptimize(bH);
    }
    void SendBuf(link::CardWireFrame frame) override
    {
        benchmark::DoNotOptimize(frame);
        ++frames;
    }
    std::uint64_t frames = 0;
};

} // namespace

static void EnginePassesWithCommandStream(benchmark::State &state)
{
    // A steady stream: a command frame every 16 passes, so every pass consumes one byte;
    // the clock advances one tick per pass.
    SinkPort port;
    firmware::FirmwareEngine engine(port);
    engine.start();
    std::uint64_t now = 0;
    std::uint32_t i = 0;
    std::uint64_t passes = 0;
    for (auto _ : state) {
        const auto w = link::CommandFrame::make(
                           i % 2 ? link::Command::SetOutBit : link::Command::ClearOutBit, 0, i % 32)
                           .encode();
        engine.ReciveData(w.data(), w.size());
        for (int k = 0; k < 16; ++k) {
            now += firmware::FirmwareEngine::TickNs;
            engine.pass(now);
        }
        passes += 16;
        ++i;
    }
    state.counters["passes/s"] = benchmark::Counter(double(passes), benchmark::Counter::kIsRate);
    state.counters["commands/s"] = benchmark::Counter(double(i), benchmark::Counter::kIsRate);
}
BENCHMARK(EnginePassesWithCommandStream);

BENCHMARK_MAIN();
