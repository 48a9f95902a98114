#include "fixture.h"

#include "simcard.h"

#include <algorithm>
#include <asio/post.hpp>

namespace kavro::sim {

struct Fixture::Driver : std::enable_shared_from_this<Fixture::Driver>
{
    Driver(asio::io_context &io, int c, const InputBehaviour &b) : card(c), behaviour(b), timer(io)
    {
    }
    int card;
    InputBehaviour behaviour;
    asio::steady_timer timer;
};

Fixture::Fixture(asio::io_context &io, std::function<SimCard *(int)> cardAt,
                 Clock::time_point origin)
    : io_(io), cardAt_(std::move(cardAt)), origin_(origin)
{
}

Fixture::~Fixture()
{
    clearAll();
}

void Fixture::setInput(int card, int input, bool on)
{
    if (SimCard *c = cardAt_(card))
        c->setInput(input, on);
}

void Fixture::set(int card, const InputBehaviour &behaviour)
{
    clear(card, behaviour.input);
    auto d = std::make_shared<Driver>(io_, card, behaviour);
    Driver &driver = *d;
    drivers_[{card, behaviour.input}] = std::move(d);
    switch (behaviour.kind) {
    case InputBehaviour::Kind::Fixed:
        setInput(card, behaviour.input, behaviour.level);
        break;
    case InputBehaviour::Kind::Wire:
        // The input takes the output's level at once, then follows it.
        if (SimCard *from = cardAt_(behaviour.fromCard))
            setInput(card, behaviour.input, from->output(behaviour.output));
        break;
    default:
        arm(driver);
        break;
    }
}

void Fixture::clear(int card, int input)
{
    drivers_.erase({card, input});
}

void Fixture::clearAll()
{
    drivers_.clear();
    for (auto &t : inFlight_)
        t->cancel();
    inFlight_.clear();
}

// Sets the level the behaviour gives for now and waits for its next edge.
void Fixture::arm(Driver &d)
{
    const InputBehaviour &b = d.behaviour;
    const auto now = Clock::now();
    auto t =
        std::int64_t(std::chrono::duration_cast<std::chrono::milliseconds>(now - origin_).count());
    bool level = false;
    std::int64_t next = -1; // ms since the origin; none when -1
    if (b.kind == InputBehaviour::Kind::Square) {
        const std::int64_t period = b.periodMs;
        const auto onMs = std::int64_t(double(period) * b.duty + 0.5);
        if (t < std::int64_t(b.startMs)) {
            next = b.startMs;
        } else {
            const std::int64_t round = (t - b.startMs) / period;
            const std::int64_t begin = b.startMs + round * period;
            level = t < begin + onMs;
            next = level ? begin + onMs : begin + period;
            if (onMs == 0 || onMs == period)
                next = -1; // always off or always on
            if (onMs == period)
                level = true;
        }
    } else {
        // A sequence: the last step at or before now gives the level. Repeated, round r
        // holds the steps at r * length + their times, and the last step's level carries
        // into the next round until its first step.
        const std::int64_t length = b.steps.back().first;
        const std::size_t steps = b.steps.size();
        // Its times count from its start.
        const std::int64_t t0 = t;
        t = t - std::int64_t(b.startMs);
        const std::size_t inRound = b.repeat ? steps - 1 : steps; // the last step ends a round
        const std::int64_t round = b.repeat ? t / length : 0;
        const std::int64_t into = b.repeat ? t % length : t;
        bool found = false;
        for (std::size_t i = 0; i < inRound; ++i) {
            if (std::int64_t(b.steps[i].first) <= into) {
                level = b.steps[i].second;
                found = true;
            }
        }
        if (!found && b.repeat && round > 0)
            level = b.steps.back().second;
        if (!b.repeat && into >= std::int64_t(b.steps.back().first))
            level = b.steps.back().second;
        for (std::size_t i = 0; i < inRound && next < 0; ++i)
            if (std::int64_t(b.steps[i].first) > into)
                next = round * length + std::int64_t(b.steps[i].first);
        if (next < 0 && b.repeat)
            next = (round + 1) * length;
        if (t < 0) {
            level = false;
            next = 0;
        }
        if (next >= 0)
            next += std::int64_t(b.startMs);
        t = t0;
    }
    setInput(d.card, b.input, level);
    if (next < 0)
        return;
    d.timer.expires_at(origin_ + std::chrono::milliseconds(next));
    const std::weak_ptr<Driver> self = d.weak_from_this();
    d.timer.async_wait([this, self](const std::error_code &ec) {
        if (ec)
            return;
        if (const auto alive = self.lock())
            arm(*alive);
    });
}

void Fixture::outputChanged(int card, int output, bool on)
{
    for (const auto &entry : drivers_) {
        const Driver &d = *entry.second;
        const InputBehaviour &b = d.behaviour;
        if (b.kind != InputBehaviour::Kind::Wire || b.fromCard != card || b.output != output)
            continue;
        const int target = d.card;
        const int input = b.input;
        // A change on its way belongs to its wire: once the input is released or driven
        // otherwise, it is lost.
        const std::weak_ptr<Driver> wire = entry.second;
        if (b.delayMs == 0) {
            asio::post(io_, [this, wire, target, input, on] {
                if (!wire.expired())
                    setInput(target, input, on);
            });
            continue;
        }
        auto timer =
            std::make_shared<asio::steady_timer>(io_, std::chrono::milliseconds(b.delayMs));
        inFlight_.push_back(timer);
        timer->async_wait([this, timer, wire, target, input, on](const std::error_code &ec) {
            if (ec)
                return;
            inFlight_.erase(std::remove(inFlight_.begin(), inFlight_.end(), timer),
                            inFlight_.end());
            if (!wire.expired())
                setInput(target, input, on);
        });
    }
}

} // namespace kavro::sim
