#include "simcard.h"

#include <algorithm>

namespace kavro::sim {

SimCard::SimCard(asio::io_context &io) : timer_(io), engine_(*this) {}

SimCard::~SimCard()
{
    // The pending wait completes as cancelled and touches nothing of ours.
    timer_.cancel();
}

void SimCard::start()
{
    engine_.start();
    origin_ = Clock::now();
    running_ = true;
    armed_ = false;
    engine_.advanceTo(0);
    schedule();
}

void SimCard::stop()
{
    running_ = false;
    armed_ = false;
    timer_.cancel();
}

void SimCard::advance()
{
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - origin_);
    engine_.advanceTo(std::uint64_t(std::max<std::int64_t>(0, elapsed.count())));
}

void SimCard::schedule()
{
    if (!running_)
        return;
    const std::uint64_t deadline = engine_.nextDeadlineNs();
    // Re-arming costs a cancelled wait; most bytes leave the deadline where it was.
    if (armed_ && deadline == armedNs_)
        return;
    armed_ = true;
    armedNs_ = deadline;
    timer_.expires_at(origin_ + std::chrono::nanoseconds(deadline));
    timer_.async_wait([this](const std::error_code &ec) {
        if (ec)
            return;
        armed_ = false;
        advance();
        schedule();
    });
}

void SimCard::receive(const std::uint8_t *data, std::size_t size)
{
    if (!running_ || size == 0)
        return;
    // Ticks due before the bytes arrived come first.
    advance();
    bytesReceived_ += size;
    intakeHighWater_ = std::max<std::uint64_t>(intakeHighWater_, engine_.pendingBytes() + size);
    engine_.ReciveData(data, size);
    advance();
    schedule();
}

bool SimCard::setInput(int bit, bool on)
{
    if (running_)
        advance();
    const bool changed = CardLevels::setInput(bit, on);
    if (changed)
        schedule();
    return changed;
}

void SimCard::SendBuf(link::CardWireFrame frame)
{
    ++framesSent_;
    if (onFrame)
        onFrame(frame);
}

void SimCard::outputChanged(int bit, bool on)
{
    if (onOutput)
        onOutput(bit, on);
}

void SimCard::inputChanged(int, bool)
{
    engine_.noteInputsChanged();
}

} // namespace kavro::sim
