#pragma once

#include "simcard.h"

#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
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

    // Faults of the link, for tests of what clients do when a card misbehaves.
    void dropClients();
    // Closes the listener, so that connections are refused; false reopens it on its port.
    void setRefusing(bool on);
    // No frame at all leaves the card, heartbeats included.
    void setSilent(bool on) { silent_ = on; }
    // Every frame leaves this much later, in order.
    void setDelay(std::chrono::milliseconds delay) { delay_ = delay; }
    // The checksum of every nth frame is wrong; 0 ends it.
    void setCorruptEvery(std::uint32_t n) { corruptEvery_ = n; }
    // Every nth frame goes out twice; 0 ends it.
    void setDuplicateEvery(std::uint32_t n) { duplicateEvery_ = n; }
    // Frames go out one byte per write.
    void setBytewise(bool on);
    // Nothing the clients send is read; TCP holds them back until it ends.
    void setStalled(bool on);
    bool refusing() const { return refusing_; }

    // Every frame sent, counted from 1, before any fault touched it.
    std::uint64_t framesSent() const { return frameCount_; }
    // A frame a fault touched: its number and what happened to it ("silent", "corrupt",
    // "duplicate").
    std::function<void(const char *what, std::uint64_t frame)> onFaultHit;
    // The code of every good command frame a client sent, as it arrives.
    std::function<void(std::uint8_t code)> onCommand;

private:
    struct Client;
    std::error_code openAcceptor(const asio::ip::tcp::endpoint &at, int backlog);
    void accept();
    void read(const std::shared_ptr<Client> &client);
    void deliver(Client &client, const std::uint8_t *data, std::size_t n);
    void write(const std::shared_ptr<Client> &client);
    void drop(const std::shared_ptr<Client> &client);
    void send(const link::CardWireFrame &frame, int copies);
    void sendDelayed();

    SimCard &card_;
    asio::ip::tcp::acceptor acceptor_;
    asio::steady_timer retry_;
    asio::ip::tcp::endpoint endpoint_;
    int backlog_ = 30;
    std::vector<std::shared_ptr<Client>> clients_;
    std::uint64_t dropped_ = 0;

    struct Delayed
    {
        std::chrono::steady_clock::time_point due;
        link::CardWireFrame frame;
        int copies;
    };
    asio::steady_timer delayTimer_;
    std::vector<Delayed> delayed_; // in the order the card sent them
    std::chrono::milliseconds delay_{0};
    std::uint64_t frameCount_ = 0;
    std::uint32_t corruptEvery_ = 0;
    std::uint32_t duplicateEvery_ = 0;
    bool silent_ = false;
    bool refusing_ = false;
    bool bytewise_ = false;
    bool stalled_ = false;
};

} // namespace kavro::sim
