#pragma once

#include "kavro_iolb.h"

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace kavro::fake {

// A scriptable stand-in of the board library for tests of its callers. Linked instead of a
// real library, it answers the fourteen functions from what the test set up and records every
// call in order.
class FakeBoard
{
public:
    struct Call
    {
        std::string function;        // e.g. "iolb_write_outbit"
        std::vector<long long> args; // numeric arguments in order (pointers left out)
        std::string text;            // the port text of iolb_board_open
    };

    static FakeBoard &instance();

    // Everything back to a card that opens and answers 0 everywhere.
    void reset();

    // The result a function returns from now on (by its C name); 0 by default.
    void setResult(const std::string &function, int result);
    void setBoardInfo(std::uint8_t firmwareVersion, std::uint8_t cardType);
    void setFrameNumber(std::uint8_t frame);
    void setConnected(bool connected);
    void setWords(unsigned short comno, int group, std::uint32_t in, std::uint32_t out);
    void setPulserBusy(unsigned short comno, int bit, bool busy);

    std::vector<Call> calls() const;
    std::vector<Call> callsOf(const std::string &function) const;
    void clearCalls();
    bool isOpen(unsigned short comno) const;
    bool hasCallback(unsigned short comno) const;

    // Calls the installed callback of comno from a thread of its own, as a library would,
    // and waits for it to return. False when no callback is installed.
    bool fireCallback(unsigned short comno, unsigned short group, std::uint32_t in,
                      std::uint32_t out, std::uint32_t inLast, std::uint32_t outLast,
                      std::uint8_t frame);

    // Used by the exported functions.
    int record(const char *function, std::vector<long long> args, const char *text = nullptr);
    int result(const std::string &function) const;
    void markOpen(unsigned short comno, bool open);
    void setCallback(unsigned short comno, KAV_IO_CALLBACK cb, void *context);
    std::uint32_t word(unsigned short comno, int group, bool output) const;
    void setOutBit(unsigned short comno, int bit, bool on);
    bool pulserBusy(unsigned short comno, int bit) const;
    std::uint8_t firmwareVersion() const;
    std::uint8_t cardType() const;
    std::uint8_t frameNumber() const;
    bool connected() const;

private:
    FakeBoard() { reset(); }

    mutable std::mutex m_mutex;
    std::vector<Call> m_calls;
    std::map<std::string, int> m_results;
    std::array<bool, 16> m_open{};
    std::array<KAV_IO_CALLBACK, 16> m_callbacks{};
    std::array<void *, 16> m_contexts{};
    std::map<std::pair<int, int>, std::pair<std::uint32_t, std::uint32_t>> m_words;
    std::map<std::pair<int, int>, bool> m_busy;
    std::uint8_t m_version = 12;
    std::uint8_t m_type = 7;
    std::uint8_t m_frame = 0;
    bool m_connected = true;
};

} // namespace kavro::fake
