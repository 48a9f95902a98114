#include "tcptransport.h"

#include "boardlib/core/iothread.h"

#include <array>
#include <asio/connect.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/write.hpp>
#include <deque>
#include <future>
#include <vector>

namespace kavro::boardlib {

namespace {
constexpr auto kReconnectInterval = std::chrono::milliseconds(1000);
}

// Lives as long as a handler may still refer to it; touched on the I/O thread only.
struct TcpTransport::State : std::enable_shared_from_this<TcpTransport::State>
{
    explicit State(asio::io_context &io) : socket(io), timer(io) {}

    asio::ip::tcp::socket socket;
    asio::steady_timer timer;
    asio::ip::tcp::endpoint endpoint;
    Listener *listener = nullptr;
    bool closed = false;
    bool everConnected = false;
    bool up = false;
    std::promise<bool> firstResult;
    std::array<std::uint8_t, 4096> buffer{};
    std::deque<std::vector<std::uint8_t>> queue;
    bool writing = false;

    void startConnect()
    {
        auto self = shared_from_this();
        socket.async_connect(endpoint, [self](const asio::error_code &ec) { self->connected(ec); });
    }

    void connected(const asio::error_code &ec)
    {
        if (closed)
            return;
        if (ec) {
            asio::error_code ignored;
            socket.close(ignored);
            if (!everConnected) {
                firstResult.set_value(false);
                closed = true;
                return;
            }
            scheduleReconnect();
            return;
        }
        asio::error_code ignored;
        socket.set_option(asio::ip::tcp::no_delay(true), ignored);
        up = true;
        if (!everConnected) {
            everConnected = true;
            firstResult.set_value(true);
        } else if (listener) {
            listener->onUp();
        }
        startRead();
    }

    void startRead()
    {
        auto self = shared_from_this();
        socket.async_read_some(
            asio::buffer(buffer),
            [self](const asio::error_code &ec, std::size_t n) { self->received(ec, n); });
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
        asio::error_code ignored;
        socket.close(ignored);
        if (listener)
            listener->onDown();
        if (!closed)
            scheduleReconnect();
    }

    void scheduleReconnect()
    {
        auto self = shared_from_this();
        timer.expires_after(kReconnectInterval);
        timer.async_wait([self](const asio::error_code &ec) {
            if (!ec && !self->closed)
                self->startConnect();
        });
    }

    void write(std::vector<std::uint8_t> bytes)
    {
        if (closed || !up)
            return;
        queue.push_back(std::move(bytes));
        if (!writing)
            writeNext();
    }

    void writeNext()
    {
        if (queue.empty()) {
            writing = false;
            return;
        }
        writing = true;
        auto self = shared_from_this();
        asio::async_write(socket, asio::buffer(queue.front()),
                          [self](const asio::error_code &ec, std::size_t) {
                              if (self->closed || !self->writing)
                                  return;
                              if (!self->queue.empty())
                                  self->queue.pop_front();
                              if (ec) {
                                  self->dropped();
                                  return;
                              }
                              self->writeNext();
                          });
    }

    void shutdown()
    {
        closed = true;
        listener = nullptr;
        up = false;
        asio::error_code ignored;
        timer.cancel();
        socket.close(ignored);
        queue.clear();
    }
};

std::optional<TcpTransport::Endpoint> TcpTransport::parse(const std::string &text)
{
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= text.size())
        return std::nullopt;
    std::string host = text.substr(0, colon);
    const std::string portText = text.substr(colon + 1);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (portText.size() > 5)
        return std::nullopt;
    unsigned long port = 0;
    for (char ch : portText) {
        if (ch < '0' || ch > '9')
            return std::nullopt;
        port = port * 10 + unsigned(ch - '0');
    }
    if (port == 0 || port > 65535)
        return std::nullopt;
    asio::error_code ec;
    asio::ip::make_address(host, ec);
    if (ec)
        return std::nullopt;
    return Endpoint{host, static_cast<unsigned short>(port)};
}

TcpTransport::TcpTransport(Endpoint endpoint)
    : m_state(std::make_shared<State>(IoThread::instance().context()))
{
    m_state->endpoint =
        asio::ip::tcp::endpoint(asio::ip::make_address(endpoint.address), endpoint.port);
}

TcpTransport::~TcpTransport()
{
    close();
}

bool TcpTransport::connect(Listener *listener, std::chrono::milliseconds timeout)
{
    auto result = m_state->firstResult.get_future();
    IoThread::instance().run([state = m_state, listener] {
        state->listener = listener;
        state->startConnect();
    });
    if (result.wait_for(timeout) != std::future_status::ready || !result.get()) {
        close();
        return false;
    }
    return true;
}

void TcpTransport::send(const std::uint8_t *data, std::size_t size)
{
    asio::post(IoThread::instance().context(),
               [state = m_state, bytes = std::vector<std::uint8_t>(data, data + size)]() mutable {
                   state->write(std::move(bytes));
               });
}

void TcpTransport::close()
{
    IoThread::instance().run([state = m_state] { state->shutdown(); });
}

} // namespace kavro::boardlib
