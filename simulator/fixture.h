#pragma once

#include "scenario.h"

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace kavro::sim {

class SimCard;

// What moves the cards' inputs by itself: fixed levels, square waves, timed sequences, and
// wires from outputs to inputs (a loopback fixture), each input driven by at most one of
// them. Times count from the origin the host gives, the host's start.
//
// Inputs are always set from a handler of their own, never from inside a card's pass, so a
// wire from a card to itself cannot re-enter its firmware.
class Fixture
{
public:
    using Clock = std::chrono::steady_clock;

    Fixture(asio::io_context &io, std::function<SimCard *(int card)> cardAt,
            Clock::time_point origin);
    ~Fixture();

    // Drives an input as the behaviour says, replacing what drove it before.
    void set(int card, const InputBehaviour &behaviour);
    // The input keeps its level and nothing drives it any more.
    void clear(int card, int input);
    void clearAll();

    // The host reports every output change here; wires pass it on.
    void outputChanged(int card, int output, bool on);

private:
    struct Driver;
    void arm(Driver &d);
    void setInput(int card, int input, bool on);

    asio::io_context &io_;
    std::function<SimCard *(int)> cardAt_;
    Clock::time_point origin_;
    // Shared only so that handlers can tell their driver is gone: a timer's wait that has
    // already completed runs its handler even after the timer was cancelled or destroyed.
    std::map<std::pair<int, int>, std::shared_ptr<Driver>> drivers_;
    // A pending change along a wire; the timer lives until it fires.
    std::vector<std::shared_ptr<asio::steady_timer>> inFlight_;
};

} // namespace kavro::sim
