// What the simulator's tests share: a CardHost on a thread of its own, reached only by posting
// to it, and a board-link client on the test's own context. All traffic stays on loopback
// addresses.
#pragma once

#include "link/cardframe.h"
#include "link/cardframereader.h"
#include "link/commandframe.h"
#include "simulator/cardhost.h"

#include <algorithm>
#include <array>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace kavro::simtest {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Generous: the suite shares the machine with builds and sanitizers.
constexpr auto kTimeout = Clock::duration(20s);

inline sim::HostOptions loopbackHost(int cards, bool udp = false)
{
    sim::HostOptions o;
    o.cards = cards;
    o.port = 0;
    o.udp = udp;
    o.udpPort = 0;
    o.udpAddress = "127.0.0.1";
    return o;
}

inline void append(std::vector<std::uint8_t> &out, const link::CommandFrame &f)
{
    const auto w = f.encode();
    out.insert(out.end(), w.begin(), w.end());
}

inline link::CommandFrame writeWord(std::uint32_t word)
{
    return link::CommandFrame::make(link::Command::WriteOutWord, 0, 0, word);
}

// A CardHost whose context runs on a thread of its own; call() runs a function there and hands
// back what it returns.
class HostThread
{
public:
    ~HostThread() { stop(); }

    // prepare runs after the cards started and before the thread does, so that what it hooks
    // sees every event.
    std::string open(const sim::HostOptions &options, const sim::Scenario *scenario = nullptr,
                     const std::function<void(sim::CardHost &)> &prepare = {})
    {
        std::string error = host_.open(options, scenario);
        if (!error.empty())
            return error;
        if (prepare)
            prepare(host_);
        thread_ = std::thread([this] { host_.context().run(); });
        return error;
    }

    template <typename F> auto call(F f) -> decltype(f(std::declval<sim::CardHost &>()))
    {
        using Result = decltype(f(host_));
        auto promise = std::make_shared<std::promise<Result>>();
        auto future = promise->get_future();
        asio::post(host_.context(), [this, promise, f] {
            if constexpr (std::is_void_v<Result>) {
                f(host_);
                promise->set_value();
            } else {
                promise->set_value(f(host_));
            }
        });
        if (future.wait_for(kTimeout) != std::future_status::ready)
            throw std::runtime_error("the host's context does not answer");
        return future.get();
    }

    asio::ip::tcp::endpoint endpoint(std::size_t card)
    {
        return call([card](sim::CardHost &h) { return h.card(card).server.endpoint(); });
    }
    std::size_t clients(std::size_t card)
    {
        return call([card](sim::CardHost &h) { return h.card(card).server.clientCount(); });
    }

    // A timer on the host's thread every few milliseconds, to learn how late a loaded machine
    // runs the host's handlers: the slack every time the host keeps may need.
    void watchLateness()
    {
        call([this](sim::CardHost &) { probe(); });
    }
    // The most the probe ran late since the last call.
    Clock::duration lateness()
    {
        return call([this](sim::CardHost &) { return std::exchange(lateness_, {}); });
    }

    void stop()
    {
        if (!thread_.joinable())
            return;
        work_.reset();
        host_.context().stop();
        thread_.join();
        host_.close();
    }

private:
    void probe()
    {
        const auto due = Clock::now() + 5ms;
        probe_.expires_at(due);
        probe_.async_wait([this, due](const std::error_code &ec) {
            if (ec)
                return;
            lateness_ = std::max<Clock::duration>(lateness_, Clock::now() - due);
            probe();
        });
    }

    sim::CardHost host_;
    asio::executor_work_guard<asio::io_context::executor_type> work_ =
        asio::make_work_guard(host_.context());
    // After host_: it goes first.
    asio::steady_timer probe_{host_.context()};
    Clock::duration lateness_{};
    std::thread thread_;
};

// Runs io until pred holds or the time is up.
template <typename Pred>
bool runUntil(asio::io_context &io, Pred pred, Clock::duration timeout = kTimeout)
{
    const auto deadline = Clock::now() + timeout;
    while (!pred()) {
        const auto now = Clock::now();
        if (now >= deadline)
            return false;
        if (io.stopped())
            io.restart();
        // With nothing to run here, what pred waits for happens on the host's thread.
        if (io.run_one_for(std::min<Clock::duration>(deadline - now, 20ms)) == 0 && io.stopped())
            std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Runs io for a while, whatever happens.
inline void runFor(asio::io_context &io, Clock::duration span)
{
    const auto until = Clock::now() + span;
    runUntil(
        io, [until] { return Clock::now() >= until; }, span + 1s);
}

// A board-link client: writes command frames, reads and sorts the card's group reports. A
// report that moves the sequence on is counted, one that repeats it is a read-back; this holds
// for a client that connected before the card's first counted report, or for the reports after
// its first.
class LinkClient
{
public:
    struct Arrival
    {
        link::CardFrame frame;
        Clock::time_point at;
    };

    explicit LinkClient(asio::io_context &io) : socket_(io) {}

    void connect(const asio::ip::tcp::endpoint &at, bool read = true)
    {
        socket_.connect(at);
        if (read)
            readMore();
    }
    void close()
    {
        std::error_code ignored;
        socket_.close(ignored);
    }

    void send(const link::CommandFrame &f)
    {
        append(pending_, f);
        writeMore();
    }
    void send(const std::vector<std::uint8_t> &bytes)
    {
        pending_.insert(pending_.end(), bytes.begin(), bytes.end());
        writeMore();
    }
    // Writes without end: refill is asked for more each time everything queued has gone.
    void flood(std::function<void(std::vector<std::uint8_t> &)> refill)
    {
        refill_ = std::move(refill);
        writeMore();
    }
    bool writePending() const { return writing_; }
    // Bytes that belonged to no frame.
    std::uint64_t skipped() const { return reader_.skippedBytes(); }

    std::vector<link::CardFrame> counted;
    std::vector<link::CardFrame> readBacks;
    // Every frame, group reports or not, as it was put together.
    std::vector<Arrival> frames;
    std::uint64_t accepted = 0; // bytes the socket has taken from us
    bool midFrameRead = false;  // a read ended inside a card frame
    bool ended = false;         // the card closed the connection

private:
    void readMore()
    {
        socket_.async_read_some(asio::buffer(in_), [this, alive = std::weak_ptr<char>(alive_)](
                                                       const std::error_code &ec, std::size_t n) {
            if (alive.expired())
                return;
            if (ec) {
                ended = ec != asio::error::operation_aborted;
                return;
            }
            bytesRead_ += n;
            midFrameRead = midFrameRead || bytesRead_ % link::kCardFrameWire != 0;
            const auto now = Clock::now();
            reader_.feed(in_.data(), n, [this, now](const link::CardFrame &f) {
                frames.push_back({f, now});
                if (f.kind() != link::CardFrameKind::GroupReport)
                    return;
                (f.sequence == lastSequence_ ? readBacks : counted).push_back(f);
                lastSequence_ = f.sequence;
            });
            readMore();
        });
    }

    void writeMore()
    {
        if (writing_)
            return;
        if (offset_ == out_.size()) {
            out_.clear();
            offset_ = 0;
            out_.swap(pending_);
            if (out_.empty() && refill_)
                refill_(out_);
            if (out_.empty())
                return;
        }
        writing_ = true;
        socket_.async_write_some(
            asio::buffer(out_.data() + offset_, out_.size() - offset_),
            [this, alive = std::weak_ptr<char>(alive_)](const std::error_code &ec, std::size_t n) {
                if (alive.expired())
                    return;
                writing_ = false;
                if (ec)
                    return;
                accepted += n;
                offset_ += n;
                writeMore();
            });
    }

    // Handlers that run after the client is gone (their socket closed with it) touch nothing.
    std::shared_ptr<char> alive_ = std::make_shared<char>();
    asio::ip::tcp::socket socket_;
    std::array<std::uint8_t, 8192> in_{};
    link::CardFrameReader reader_;
    std::uint8_t lastSequence_ = 0;
    std::uint64_t bytesRead_ = 0;
    std::vector<std::uint8_t> out_; // on its way, from offset_
    std::size_t offset_ = 0;
    std::vector<std::uint8_t> pending_;
    std::function<void(std::vector<std::uint8_t> &)> refill_;
    bool writing_ = false;
};

} // namespace kavro::simtest
