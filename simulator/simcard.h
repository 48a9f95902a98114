#pragma once

#include "firmware/cardlevels.h"
#include "firmware/firmwareengine.h"

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <cstdint>
#include <functional>

namespace kavro::sim {

// One simulated card, run by events on one Asio context: the firmware engine passes when
// bytes arrive, when an input changes and when the engine's next deadline comes, and the
// card costs nothing in between. Its frames go to onFrame, its output changes to onOutput.
//
// Intake: receive() takes every byte it is given before it returns, one per engine pass, so
// what the card holds unconsumed never exceeds one delivery; its callers read at most
// IntakeBound bytes at a time, and what they have not read stays in the socket, where TCP's
// flow control holds the sender back.
//
// Threads: everything runs on the context's thread; other threads post to it.
class SimCard : public firmware::CardLevels
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t IntakeBound = 64 * 1024;

    explicit SimCard(asio::io_context &io);
    ~SimCard() override;
    SimCard(const SimCard &) = delete;
    SimCard &operator=(const SimCard &) = delete;

    // A start of the firmware: the restart report, then the card's clock from zero. The
    // card's state (outputs, pulse trains, switch-off) survives stop() and start().
    void start();
    void stop();
    bool running() const { return running_; }

    void receive(const std::uint8_t *data, std::size_t size);
    // The card reports an input change at its next scan, as its firmware samples them.
    bool setInput(int bit, bool on);

    std::function<void(const link::CardWireFrame &frame)> onFrame;
    std::function<void(int bit, bool on)> onOutput;

    const firmware::FirmwareEngine &engine() const { return engine_; }
    std::uint64_t bytesReceived() const { return bytesReceived_; }
    std::uint64_t framesSent() const { return framesSent_; }
    // The most bytes the card ever held unconsumed.
    std::uint64_t intakeHighWater() const { return intakeHighWater_; }

    void SendBuf(link::CardWireFrame frame) override;

protected:
    void outputChanged(int bit, bool on) override;
    void inputChanged(int bit, bool on) override;

private:
    void advance();
    void schedule();

    asio::steady_timer timer_;
    firmware::FirmwareEngine engine_;
    Clock::time_point origin_;
    std::uint64_t armedNs_ = 0;
    bool armed_ = false;
    bool running_ = false;
    std::uint64_t bytesReceived_ = 0;
    std::uint64_t framesSent_ = 0;
    std::uint64_t intakeHighWater_ = 0;
};

} // namespace kavro::sim
