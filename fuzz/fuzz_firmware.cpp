// Arbitrary bytes through the card's intake and the engine's passes. The first bytes steer
// the clock and the inputs; the rest is a list of records, each either raw link bytes or a
// well-formed command frame built from fuzzed fields (random bytes alone would almost never
// pass the checksum and header). Whatever the card is sent, it must stay within its one group,
// send only frames a client can read, and consume every byte it was given.
#include "link/cardframereader.h"
#include "link/commandframe.h"
#include "firmware/firmwareengine.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

class CheckingPort : public kavro::firmware::FirmwarePort
{
public:
    bool GetInBitLevel(std::uint8_t group, std::uint8_t nBit) override
    {
        if (group != 0 || nBit >= 32)
            std::abort();
        return (inputs >> nBit) & 1u;
    }
    void SetOutBitLevel(std::uint8_t group, std::uint8_t nBit, bool) override
    {
        if (group != 0 || nBit >= 32)
            std::abort();
    }
    void SendBuf(kavro::link::CardWireFrame frame) override
    {
        int found = 0;
        reader.feed(frame.data(), frame.size(), [&](const kavro::link::CardFrame &) { ++found; });
        if (found != 1)
            std::abort();
    }
    std::uint32_t inputs = 0;
    kavro::link::CardFrameReader reader;
};

std::uint32_t take32(const std::uint8_t *p)
{
    return kavro::link::readBigEndian32(p);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    CheckingPort port;
    kavro::firmware::FirmwareEngine engine(port);
    engine.start();

    const std::uint64_t stepNs = 50000ull * (1 + data[0] % 64); // 0.05 to 3.2 ms per pass
    port.inputs = data[1] * 0x01010101u;
    std::size_t at = 2;
    std::uint64_t now = 0;
    auto run = [&](std::size_t passes) {
        for (std::size_t k = 0; k < passes; ++k) {
            now += stepNs;
            engine.pass(now);
        }
    };

    while (at < size) {
        const std::uint8_t tag = data[at++];
        if (tag & 1) {
            // Raw bytes, as a client or the line might garble them.
            std::size_t n = (tag >> 1) % 40;
            if (n > size - at)
                n = size - at;
            engine.ReciveData(data + at, n);
            at += n;
            run(n + (tag >> 6) * 50);
        } else {
            if (size - at < 11)
                break;
            const auto cmd = kavro::link::CommandFrame::make(
                static_cast<kavro::link::Command>(data[at] % 24), data[at + 2],
                take32(data + at + 3), take32(data + at + 7), data[at + 1]);
            at += 11;
            const auto wire = cmd.encode();
            engine.ReciveData(wire.data(), wire.size());
            run(wire.size() + (tag >> 1) * 8);
            port.inputs ^= std::uint32_t(tag) << (tag % 24);
        }
    }
    // Let timers and pulse trains run on.
    run(4000);
    if (engine.pendingBytes() != 0)
        std::abort();
    return 0;
}
