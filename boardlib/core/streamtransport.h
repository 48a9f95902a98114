#pragma once

#include "iothread.h"
#include "transport.h"

#include <array>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/write.hpp>
#include <chrono>
#include <deque>
#include <future>
#include <memory>
#include <vector>

namespace kavro::boardlib {

// The board link over an Asio byte stream (a TCP socket, a serial port) on the library's I/O
// thread: first connection, reading, a write queue, and reconnection every second after a
// drop until closed. Link supplies the stream and how to open it:
//   Stream stream;                          the Asio stream
//   void startOpen();                       opens it, then calls opened(error)
//   void closeStream();                     closes it, ignoring errors
template <typename Link> class StreamState : public std::enable_shared_from_this<Link>
{
public:
    using Listener = Transport::Listener;
    static constexpr auto ReconnectInterval = std::chrono::milliseconds(1000);

    explicit StreamState(asio::io_context &io) : timer(io) {}

    // All below runs on the I/O thread.
    void opened(const asio::error_code &ec)
    {
        if (closed)
            return;
        if (ec) {
            self().closeStream();
            if (!everConnected) {
                firstResult.set_value(false);
                closed = true;
                return;
            }
            scheduleReconnect();
            return;
        }
        up = true;
        if (!everConnected) {
            everConnected = true;
            firstResult.set_value(true);
        } else if (listener) {
            listener->onUp();
        }
        startRead();
    }

    void write(std::vector<std::uint8_t> bytes)
    {
        if (closed || !up)
            return;
        queue.push_back(std::move(bytes));
        if (!writing)
            writeNext();
    }

    void shutdown()
    {
        closed = true;
        listener = nullptr;
        up = false;
        timer.cancel();
        self().closeStream();
        queue.clear();
    }

    Listener *listener = nullptr;
    std::promise<bool> firstResult;

protected:
    Link &self() { return static_cast<Link &>(*this); }

private:
    void startRead()
    {
        auto keep = this->shared_from_this();
        self().stream.async_read_some(
            asio::buffer(buffer),
            [keep](const asio::error_code &ec, std::size_t n) { keep->received(ec, n); });
    }

    void received(const asio::error_code &ec, std::size_t n)
    {
        if (closed)
            return;
        if (ec) {
            dropped();
            return;
        }
        if (listener)
            listener->onBytes(buffer.data(), n);
        if (!closed)
            startRead();
    }

    void dropped()
    {
        if (!up)
            return;
        up = false;
        queue.clear();
        writing = false;
        self().closeStream();
        if (listener)
            listener->onDown();
        if (!closed)
            scheduleReconnect();
    }

    void scheduleReconnect()
    {
        auto keep = this->shared_from_this();
        timer.expires_after(ReconnectInterval);
        timer.async_wait([keep](const asio::error_code &ec) {
            if (!ec && !keep->closed)
                keep->startOpen();
        });
    }

    void startOpen() { self().startOpen(); }

    void writeNext()
    {
        if (queue.empty()) {
            writing = false;
            return;
        }
        writing = true;
        auto keep = this->shared_from_this();
        asio::async_write(self().stream, asio::buffer(queue.front()),
                          [keep](const asio::error_code &ec, std::size_t) {
                              if (keep->closed || !keep->writing)
                                  return;
                              if (!keep->queue.empty())
                                  keep->queue.pop_front();
                              if (ec) {
                                  keep->dropped();
                                  return;
                              }
                              keep->writeNext();
                          });
    }

    asio::steady_timer timer;
    bool closed = false;
    bool everConnected = false;
    bool up = false;
    std::array<std::uint8_t, 4096> buffer{};
    std::deque<std::vector<std::uint8_t>> queue;
    bool writing = false;

    template <typename> friend class StreamTransport;
};

// The Transport over one StreamState; the state outlives the transport as long as a handler
// still holds it.
template <typename Link> class StreamTransport : public Transport
{
public:
    explicit StreamTransport(std::shared_ptr<Link> link) : m_link(std::move(link)) {}
    ~StreamTransport() override { close(); }

    bool connect(Listener *listener, std::chrono::milliseconds timeout) override
    {
        auto result = m_link->firstResult.get_future();
        IoThread::instance().run([link = m_link, listener] {
            link->listener = listener;
            link->startOpen();
        });
        if (result.wait_for(timeout) != std::future_status::ready || !result.get()) {
            close();
            return false;
        }
        return true;
    }

    void send(const std::uint8_t *data, std::size_t size) override
    {
        asio::post(IoThread::instance().context(),
                   [link = m_link, bytes = std::vector<std::uint8_t>(data, data + size)]() mutable {
                       link->write(std::move(bytes));
                   });
    }

    void close() override
    {
        IoThread::instance().run([link = m_link] { link->shutdown(); });
    }

private:
    std::shared_ptr<Link> m_link;
};

} // namespace kavro::boardlib
