#include "rxqueue.h"

#include <cstring>

namespace kavro::firmware {

RxQueue::RxQueue()
{
    auto *dummy = new Chunk;
    tail_ = oldest_ = head_ = dummy;
    consumerAt_.store(dummy, std::memory_order_relaxed);
}

RxQueue::~RxQueue()
{
    Chunk *c = oldest_;
    while (c) {
        Chunk *next = c->next.load(std::memory_order_relaxed);
        delete c;
        c = next;
    }
}

void RxQueue::reclaim()
{
    Chunk *const at = consumerAt_.load(std::memory_order_acquire);
    while (oldest_ != at) {
        Chunk *next = oldest_->next.load(std::memory_order_relaxed);
        delete oldest_;
        oldest_ = next;
    }
}

void RxQueue::push(const std::uint8_t *data, std::size_t size)
{
    reclaim();
    if (size == 0)
        return;
    auto *chunk = new Chunk;
    chunk->size = size;
    chunk->bytes.reset(new std::uint8_t[size]);
    std::memcpy(chunk->bytes.get(), data, size);
    pushed_.store(pushed_.load(std::memory_order_relaxed) + size, std::memory_order_relaxed);
    tail_->next.store(chunk, std::memory_order_release);
    tail_ = chunk;
    if (const std::uint64_t pending = pendingBytes(); pending > highWater())
        highWater_.store(pending, std::memory_order_relaxed);
}

bool RxQueue::advance()
{
    Chunk *next = head_->next.load(std::memory_order_acquire);
    if (!next)
        return false;
    head_ = next;
    offset_ = 0;
    consumerAt_.store(head_, std::memory_order_release);
    return true;
}

bool RxQueue::pop(std::uint8_t &byte)
{
    while (offset_ >= head_->size)
        if (!advance())
            return false;
    byte = head_->bytes[offset_++];
    popped_.store(popped_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    return true;
}

void RxQueue::discardAll()
{
    std::uint64_t dropped = head_->size - offset_;
    offset_ = head_->size;
    while (advance()) {
        dropped += head_->size;
        offset_ = head_->size;
    }
    popped_.store(popped_.load(std::memory_order_relaxed) + dropped, std::memory_order_relaxed);
}

std::uint64_t RxQueue::pendingBytes() const
{
    const std::uint64_t popped = popped_.load(std::memory_order_relaxed);
    const std::uint64_t pushed = pushed_.load(std::memory_order_relaxed);
    return pushed > popped ? pushed - popped : 0;
}

} // namespace kavro::firmware
