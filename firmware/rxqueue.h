#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace kavro::firmware {

// Received link bytes on their way from the network thread (one producer) to the firmware
// loop (one consumer). Lock-free and lossless: each delivery becomes one chunk in a linked
// list; the producer publishes a chunk with release ordering and the consumer takes it with
// acquire. Chunks the consumer has left are freed by the producer on its next push, so the
// consumer never allocates or frees and a flood costs memory, never bytes. pendingBytes()
// lets the producer's owner hold back reading from a client that floods.
class RxQueue
{
public:
    RxQueue();
    ~RxQueue();
    RxQueue(const RxQueue &) = delete;
    RxQueue &operator=(const RxQueue &) = delete;

    // Producer.
    void push(const std::uint8_t *data, std::size_t size);

    // Consumer.
    bool pop(std::uint8_t &byte);
    // Drops every byte published so far; bytes pushed meanwhile may go either way.
    void discardAll();

    // Bytes pushed and not yet taken; exact when both sides are idle.
    std::uint64_t pendingBytes() const;
    // The most bytes ever pending just after a push.
    std::uint64_t highWater() const { return highWater_.load(std::memory_order_relaxed); }

private:
    struct Chunk
    {
        std::atomic<Chunk *> next{nullptr};
        std::size_t size = 0;
        std::unique_ptr<std::uint8_t[]> bytes;
    };

    bool advance();
    void reclaim();

    // Producer side.
    Chunk *tail_;
    Chunk *oldest_;
    std::atomic<std::uint64_t> pushed_{0};
    std::atomic<std::uint64_t> highWater_{0};

    // Consumer side.
    Chunk *head_;
    std::size_t offset_ = 0;
    std::atomic<Chunk *> consumerAt_;
    std::atomic<std::uint64_t> popped_{0};
};

} // namespace kavro::firmware
