#include "cardserver.h"

#include "link/commandwindow.h"

#include <algorithm>
#include <array>
#include <asio/write.hpp>

namespace kavro::sim {

struct CardServer::Client
{
    explicit Client(asio::ip::tcp::socket s) : socket(std::move(s)) {}

    asio::ip::tcp::socket socket;
    std::array<std::uint8_t, ReadBuffer> in{};
    // All clients share the card's one intake: the bytes that may still begin a frame wait here
    // until it is whole, so that no other client's bytes land inside it. window follows this
    // client's stream alone to tell which those are.
    link::CommandWindow window;
    std::vector<std::uint8_t> intake;
    // What a read already under way when a stall began brought; the card gets it when it ends.
    std::vector<std::uint8_t> held;
    // Frames wait in queued while sending holds what is on its way.
    std::vector<std::uint8_t> queued;
    std::vector<std::uint8_t> sending;
    bool reading = false;
    bool writing = false;
    bool closed = false;
};

CardServer::CardServer(asio::io_context &io, SimCard &card)
    : card_(card), acceptor_(io), retry_(io), delayTimer_(io)
{
}

CardServer::~CardServer()
{
    close();
}

std::error_code CardServer::openAcceptor(const asio::ip::tcp::endpoint &at, int backlog)
{
    std::error_code ec;
    acceptor_.open(at.protocol(), ec);
#ifndef _WIN32
    // A port just left by an earlier host is free again at once. Windows would let the option
    // take a port another program still listens on, so there it stays off.
    if (!ec)
        acceptor_.set_option(asio::ip::tcp::acceptor::reuse_address(true), ec);
#endif
    if (!ec)
        acceptor_.bind(at, ec);
    if (!ec)
        acceptor_.listen(backlog, ec);
    if (ec) {
        std::error_code ignored;
        acceptor_.close(ignored);
    }
    return ec;
}

std::string CardServer::listen(const asio::ip::tcp::endpoint &at, int backlog)
{
    close();
    backlog_ = backlog;
    std::error_code ec = openAcceptor(at, backlog);
    if (!ec)
        endpoint_ = acceptor_.local_endpoint(ec);
    if (ec) {
        std::error_code ignored;
        acceptor_.close(ignored);
        return "cannot listen on " + at.address().to_string() + ":" + std::to_string(at.port()) +
               ": " + ec.message();
    }
    accept();
    return {};
}

void CardServer::close()
{
    std::error_code ignored;
    acceptor_.close(ignored);
    retry_.cancel();
    delayTimer_.cancel();
    delayed_.clear();
    for (const auto &c : clients_) {
        c->closed = true;
        c->socket.close(ignored);
    }
    clients_.clear();
}

void CardServer::accept()
{
    acceptor_.async_accept([this](const std::error_code &ec, asio::ip::tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !acceptor_.is_open())
            return;
        if (ec) {
            // Out of file handles, say: try again a little later instead of spinning.
            retry_.expires_after(std::chrono::milliseconds(100));
            retry_.async_wait([this](const std::error_code &waited) {
                if (!waited && acceptor_.is_open())
                    accept();
            });
            return;
        }
        std::error_code ignored;
        // Card frames are small and answer commands: send them at once.
        socket.set_option(asio::ip::tcp::no_delay(true), ignored);
        auto client = std::make_shared<Client>(std::move(socket));
        clients_.push_back(client);
        read(client);
        accept();
    });
}

void CardServer::read(const std::shared_ptr<Client> &client)
{
    if (client->closed || client->reading || stalled_ || client->queued.size() >= OutputPause)
        return;
    client->reading = true;
    client->socket.async_read_some(
        asio::buffer(client->in), [this, client](const std::error_code &ec, std::size_t n) {
            client->reading = false;
            if (client->closed)
                return;
            if (ec) {
                drop(client);
                return;
            }
            if (stalled_) {
                client->held.assign(client->in.begin(), client->in.begin() + std::ptrdiff_t(n));
                return;
            }
            deliver(*client, client->in.data(), n);
            read(client);
        });
}

void CardServer::deliver(Client &client, const std::uint8_t *data, std::size_t n)
{
    client.intake.insert(client.intake.end(), data, data + n);
    std::uint8_t codes[ReadBuffer / link::kFrameSize + 1];
    std::size_t commands = 0;
    for (std::size_t i = 0; i < n; ++i)
        if (client.window.push(data[i]) == link::CommandWindow::Result::Command)
            codes[commands++] = client.window.command().code;
    const std::size_t whole = client.intake.size() - client.window.count();
    card_.receive(client.intake.data(), whole);
    client.intake.erase(client.intake.begin(), client.intake.begin() + std::ptrdiff_t(whole));
    // After the card has taken them, so that a fault they set off follows their answers.
    if (onCommand)
        for (std::size_t k = 0; k < commands; ++k)
            onCommand(codes[k]);
}

void CardServer::broadcast(const link::CardWireFrame &frame)
{
    const std::uint64_t n = ++frameCount_;
    if (silent_) {
        if (onFaultHit)
            onFaultHit("silent", n);
        return;
    }
    link::CardWireFrame out = frame;
    if (corruptEvery_ && n % corruptEvery_ == 0) {
        out[15] = std::uint8_t(out[15] + 1);
        if (onFaultHit)
            onFaultHit("corrupt", n);
    }
    int copies = 1;
    if (duplicateEvery_ && n % duplicateEvery_ == 0) {
        copies = 2;
        if (onFaultHit)
            onFaultHit("duplicate", n);
    }
    // Behind frames still held back, nothing may overtake.
    if (delay_.count() > 0 || !delayed_.empty()) {
        delayed_.push_back({std::chrono::steady_clock::now() + delay_, out, copies});
        if (delayed_.size() == 1)
            sendDelayed();
        return;
    }
    send(out, copies);
}

void CardServer::sendDelayed()
{
    const auto now = std::chrono::steady_clock::now();
    std::size_t due = 0;
    while (due < delayed_.size() && delayed_[due].due <= now)
        ++due;
    // The vector stays small: a delay holds back only the frames of its own span.
    const std::vector<Delayed> ready(delayed_.begin(), delayed_.begin() + std::ptrdiff_t(due));
    delayed_.erase(delayed_.begin(), delayed_.begin() + std::ptrdiff_t(due));
    for (const Delayed &d : ready)
        send(d.frame, d.copies);
    if (delayed_.empty())
        return;
    delayTimer_.expires_at(delayed_.front().due);
    delayTimer_.async_wait([this](const std::error_code &ec) {
        if (!ec)
            sendDelayed();
    });
}

void CardServer::send(const link::CardWireFrame &frame, int copies)
{
    // Dropping a client edits the list; walk a copy.
    const auto snapshot = clients_;
    for (const auto &c : snapshot) {
        if (c->closed)
            continue;
        if (c->queued.size() + frame.size() * std::size_t(copies) > OutputLimit) {
            ++dropped_;
            drop(c);
            continue;
        }
        for (int k = 0; k < copies; ++k)
            c->queued.insert(c->queued.end(), frame.begin(), frame.end());
        write(c);
    }
}

void CardServer::dropClients()
{
    const auto snapshot = clients_;
    for (const auto &c : snapshot)
        drop(c);
}

void CardServer::setRefusing(bool on)
{
    if (on == refusing_)
        return;
    refusing_ = on;
    std::error_code ignored;
    if (on) {
        acceptor_.close(ignored);
        retry_.cancel();
        return;
    }
    // The same address and port as before.
    if (!openAcceptor(endpoint_, backlog_))
        accept();
}

void CardServer::setBytewise(bool on)
{
    bytewise_ = on;
}

void CardServer::setStalled(bool on)
{
    stalled_ = on;
    if (on)
        return;
    // Delivering may drop a client; walk a copy.
    const auto snapshot = clients_;
    for (const auto &c : snapshot) {
        if (c->closed)
            continue;
        if (!c->held.empty()) {
            const std::vector<std::uint8_t> held = std::move(c->held);
            c->held.clear();
            deliver(*c, held.data(), held.size());
        }
        read(c);
    }
}

void CardServer::write(const std::shared_ptr<Client> &client)
{
    if (client->writing || client->queued.empty() || client->closed)
        return;
    client->writing = true;
    if (bytewise_) {
        // One byte per write: a client must put frames together from pieces.
        client->sending.assign(client->queued.begin(), client->queued.begin() + 1);
        client->queued.erase(client->queued.begin());
    } else {
        client->sending.swap(client->queued);
        client->queued.clear();
    }
    asio::async_write(client->socket, asio::buffer(client->sending),
                      [this, client](const std::error_code &ec, std::size_t) {
                          client->writing = false;
                          client->sending.clear();
                          if (client->closed)
                              return;
                          if (ec) {
                              drop(client);
                              return;
                          }
                          write(client);
                          // Below the pause again: take its commands once more.
                          read(client);
                      });
}

void CardServer::drop(const std::shared_ptr<Client> &client)
{
    if (client->closed)
        return;
    client->closed = true;
    std::error_code ignored;
    client->socket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    client->socket.close(ignored);
    clients_.erase(std::remove(clients_.begin(), clients_.end(), client), clients_.end());
}

} // namespace kavro::sim
