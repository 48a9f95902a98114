#include "discovery/macgeneration.h"

#include <chrono>
#include <cstdio>
#include <mutex>
#include <random>

namespace kavro::discovery {

namespace {

std::uint8_t drawByte(std::mt19937 &engine)
{
    std::uniform_int_distribution<int> byte(0, 255);
    return static_cast<std::uint8_t>(byte(engine));
}

} // namespace

std::string formatMac(const std::array<std::uint8_t, 6> &bytes)
{
    char text[18];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", unsigned(bytes[0]),
                  unsigned(bytes[1]), unsigned(bytes[2]), unsigned(bytes[3]), unsigned(bytes[4]),
                  unsigned(bytes[5]));
    return text;
}

std::string randomMac()
{
    std::random_device source;
    std::mt19937 engine(source());
    std::array<std::uint8_t, 6> bytes{};
    for (std::uint8_t &b : bytes)
        b = drawByte(engine);
    return formatMac(bytes);
}

std::string formatGeneratedMac(std::uint8_t r1, std::uint8_t r2, std::int64_t msSinceEpoch)
{
    const auto ms = static_cast<std::uint64_t>(msSinceEpoch);
    return formatMac(
        {0x02, 0xDE, r1, static_cast<std::uint8_t>(ms >> 8), r2, static_cast<std::uint8_t>(ms)});
}

std::string generateMac()
{
    static std::mutex engineMutex;
    static std::mt19937 engine = [] {
        std::random_device source;
        return std::mt19937(source());
    }();
    std::uint8_t r1 = 0;
    std::uint8_t r2 = 0;
    {
        // Boards may be made on several threads; the engine is not safe to share unlocked.
        std::lock_guard<std::mutex> lock(engineMutex);
        r1 = drawByte(engine);
        r2 = drawByte(engine);
    }
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return formatGeneratedMac(r1, r2,
                              std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

} // namespace kavro::discovery
