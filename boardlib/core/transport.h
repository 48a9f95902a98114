#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace kavro::boardlib {

// The byte pipe under one card's session: TCP, a serial line or an in-process card. A
// transport reconnects by itself after its first connection until it is closed.
class Transport
{
public:
    // Called on the transport's own thread, one call at a time.
    class Listener
    {
    public:
        virtual ~Listener() = default;
        virtual void onBytes(const std::uint8_t *data, std::size_t size) = 0;
        virtual void onUp() = 0;   // connected again after a drop
        virtual void onDown() = 0; // the connection dropped
    };

    virtual ~Transport() = default;

    // The first connection, waited for up to timeout. False leaves the transport closed.
    virtual bool connect(Listener *listener, std::chrono::milliseconds timeout) = 0;
    // From any thread; bytes sent while the link is down are dropped.
    virtual void send(const std::uint8_t *data, std::size_t size) = 0;
    // Stops everything; once it returns no listener call runs or starts. Safe from inside a
    // listener call.
    virtual void close() = 0;
};

} // namespace kavro::boardlib
