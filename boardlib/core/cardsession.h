#pragma once

#include "boardlib/include/kavro_iolb.h"
#include "link/cardframe.h"
#include "link/cardframereader.h"
#include "link/commandframe.h"
#include "transport.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace kavro::boardlib {

// The client side of the board link for one open card: what the card last reported, the
// commands sent to it and the answers waited for. Frames arrive on the transport's thread;
// every other call may come from any thread.
class CardSession : public Transport::Listener, public std::enable_shared_from_this<CardSession>
{
public:
    using Clock = std::chrono::steady_clock;

    struct Timing
    {
        std::chrono::milliseconds connect{2000};
        std::chrono::milliseconds answer{1000};
        std::chrono::milliseconds frameSilence{5000}; // link counts as down after this
    };

    CardSession(unsigned short comno, std::unique_ptr<Transport> transport, Timing timing);
    CardSession(unsigned short comno, std::unique_ptr<Transport> transport)
        : CardSession(comno, std::move(transport), Timing{})
    {
    }
    ~CardSession() override;

    // Connects and asks for the words of group 0. A result code.
    int open();
    // No callback runs or starts once this returns; the transport is closed.
    void close();

    bool isConnected() const;
    bool linkUp() const { return m_up.load(); }
    std::uint8_t sequence() const;
    std::uint32_t inputWord() const;
    std::uint32_t outputWord() const;
    bool pulserRunning(int n) const;

    void setCallback(KAV_IO_CALLBACK callback, void *context);

    int writeOutBit(int bit, bool on);
    int delayOff(int timeBase, int multiple);
    int pulse(int bit, bool positive, std::uint16_t count, std::uint16_t positiveMs,
              std::uint16_t negativeMs, std::uint16_t leadMs);
    int terminatePulser(int bit);

    // Transport::Listener
    void onBytes(const std::uint8_t *data, std::size_t size) override;
    void onUp() override;
    void onDown() override;

private:
    struct Waiter
    {
        std::uint8_t selector;
        link::CardFrameKind kind;
        std::optional<link::CardFrame> answer;
        // For an output write: a group 0 report that shows this output at this level answers
        // too (see writeOutBit); with levelOnly, nothing else does. bit is -1 when unused.
        int bit = -1;
        bool level = false;
        bool levelOnly = false;
        bool read = false; // a ReadGroup, whose answer carries the frame number unchanged
        // A frame went missing while it waited: from then on only a frame built for its own
        // command answers it, since the lost one may have been its answer.
        bool lost = false;
        bool beforeSync = false; // its command went out ahead of the resync in flight
        bool settled = false;    // the resync came back first: its answer will not come
    };
    struct Answer
    {
        std::optional<link::CardFrame> frame;
        bool lost = false; // a frame went missing while waiting
    };
    struct Change
    {
        std::uint32_t in, out, inLast, outLast;
        std::uint8_t sequence;
    };

    std::uint8_t send(link::CommandFrame cmd);
    // Sends cmd and waits for the card frame that answers it: the first of that kind built
    // after the card took the command, which carries the command's selector in its own.
    Answer ask(link::CommandFrame cmd, link::CardFrameKind kind, int bit = -1, bool level = false,
               bool levelOnly = false);
    void handleFrame(const link::CardFrame &frame, std::vector<Change> &changes);
    // A frame went missing: the words may be behind the card's, and a waiting command's answer
    // may be gone. Called with m_mutex held.
    void noteLoss();
    void noteSkippedBytes();
    // Asks for the words of group 0 again when a loss calls for it. Called with m_mutex held.
    void resyncIfNeeded();

    const unsigned short m_comno;
    const Timing m_timing;
    std::unique_ptr<Transport> m_transport;
    link::CardFrameReader m_reader; // transport thread only
    std::atomic<bool> m_up{false};
    std::atomic<bool> m_closed{false};
    std::atomic<std::uint8_t> m_nextSelector{1};

    mutable std::mutex m_mutex; // guards everything below up to the callback
    std::condition_variable m_answered;
    std::list<Waiter *> m_waiters;
    std::uint32_t m_in = 0;
    std::uint32_t m_out = 0;
    std::uint8_t m_sequence = 0;
    std::array<std::uint8_t, 8> m_pulsers{};
    std::optional<Clock::time_point> m_lastFrame;
    bool m_haveSequence = false; // m_sequence is the card's, from a frame of this connection
    std::uint64_t m_skippedBytes = 0;
    bool m_stale = false;                       // a frame went missing since the last group report
    std::optional<std::uint8_t> m_syncSelector; // the resync in flight
    Clock::time_point m_syncSent;

    // Held while the callback runs, so that removing it waits for a running call; recursive,
    // so that the callback itself may remove it or close the card.
    std::recursive_mutex m_callbackMutex;
    KAV_IO_CALLBACK m_callback = nullptr;
    void *m_context = nullptr;
};

} // namespace kavro::boardlib
