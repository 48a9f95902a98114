#pragma once

#include "simcard.h"

#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kavro::sim {

// A card's TCP side: accepts any number of clients, feeds what each sends to the card and
// writes every card frame to all of them.
//
// Memory stays bounded both ways. A client's bytes are read at most a buffer at a time and
// only while the card has room, so a sender faster than the card is held back by TCP, never
// by dropping. A client that does not read its frames has them queued up to OutputPause,
// beyond which its own commands are no longer read (the flood it causes waits on it); one
// that lets OutputLimit pile up (frames others cause, heartbeats) is dropped as dead.
class CardServer
{
public:
    static constexpr std::size_t ReadBuffer = 4096;
    static constexpr std::size_t OutputPause = 64 * 1024;
    static constexpr std::size_t OutputLimit = 4 * 1024 * 1024;

    CardServer(asio::io_context &io, SimCard &card);
    ~CardServer();
    CardServer(const CardServer &) = delete;
    CardServer &operator=(const CardServer &) = delete;

    // Empty on success, else what went wrong, in words.
    std::string listen(const asio::ip::tcp::endpoint &at, int backlog = 30);
    void close();
    bool listening() const { return acceptor_.is_open(); }
    asio::ip::tcp::endpoint endpoint() const { return endpoint_; }
    std::size_t clientCount() const { return clients_.size(); }
    // Every card frame, to every client.
    void broadcast(const link::CardWireFrame &frame);

    // Clients dropped for letting OutputLimit pile up.
    std::uint64_t clientsDropped() const { return dropped_; }

private:
    struct Client;
    void accept();
    void read(const std::shared_ptr<Client> &client);
    void deliver(Client &client, std::size_t n);
    void write(const std::shared_ptr<Client> &client);
    void drop(const std::shared_ptr<Client> &client);

    SimCard &card_;
    asio::ip::tcp::acceptor acceptor_;
    asio::steady_timer retry_;
    asio::ip::tcp::endpoint endpoint_;
    std::vector<std::shared_ptr<Client>> clients_;
    std::uint64_t dropped_ = 0;
};

} // namespace kavro::sim
