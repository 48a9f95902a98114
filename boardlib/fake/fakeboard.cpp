#include "fakeboard.h"

#include <thread>

namespace kavro::fake {

FakeBoard &FakeBoard::instance()
{
    static FakeBoard board;
    return board;
}

void FakeBoard::reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.clear();
    m_results.clear();
    m_open.fill(false);
    m_callbacks.fill(nullptr);
    m_contexts.fill(nullptr);
    m_words.clear();
    m_busy.clear();
    m_version = 12;
    m_type = 7;
    m_frame = 0;
    m_connected = true;
}

void FakeBoard::setResult(const std::string &function, int result)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_results[function] = result;
}

void FakeBoard::setBoardInfo(std::uint8_t firmwareVersion, std::uint8_t cardType)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_version = firmwareVersion;
    m_type = cardType;
}

void FakeBoard::setFrameNumber(std::uint8_t frame)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_frame = frame;
}

void FakeBoard::setConnected(bool connected)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_connected = connected;
}

void FakeBoard::setWords(unsigned short comno, int group, std::uint32_t in, std::uint32_t out)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_words[{comno, group}] = {in, out};
}

void FakeBoard::setPulserBusy(unsigned short comno, int bit, bool busy)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_busy[{comno, bit}] = busy;
}

std::vector<FakeBoard::Call> FakeBoard::calls() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls;
}

std::vector<FakeBoard::Call> FakeBoard::callsOf(const std::string &function) const
{
    std::vector<Call> out;
    for (const Call &c : calls())
        if (c.function == function)
            out.push_back(c);
    return out;
}

void FakeBoard::clearCalls()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.clear();
}

bool FakeBoard::isOpen(unsigned short comno) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return comno < 16 && m_open[comno];
}

bool FakeBoard::hasCallback(unsigned short comno) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return comno < 16 && m_callbacks[comno] != nullptr;
}

bool FakeBoard::fireCallback(unsigned short comno, unsigned short group, std::uint32_t in,
                             std::uint32_t out, std::uint32_t inLast, std::uint32_t outLast,
                             std::uint8_t frame)
{
    KAV_IO_CALLBACK cb = nullptr;
    void *context = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (comno >= 16 || !m_callbacks[comno])
            return false;
        cb = m_callbacks[comno];
        context = m_contexts[comno];
    }
    std::thread caller([=] { cb(context, comno, group, in, out, inLast, outLast, frame); });
    caller.join();
    return true;
}

int FakeBoard::record(const char *function, std::vector<long long> args, const char *text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.push_back({function, std::move(args), text ? std::string(text) : std::string()});
    const auto it = m_results.find(function);
    return it == m_results.end() ? 0 : it->second;
}

int FakeBoard::result(const std::string &function) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_results.find(function);
    return it == m_results.end() ? 0 : it->second;
}

void FakeBoard::markOpen(unsigned short comno, bool open)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (comno < 16) {
        m_open[comno] = open;
        if (!open) {
            m_callbacks[comno] = nullptr;
            m_contexts[comno] = nullptr;
        }
    }
}

void FakeBoard::setCallback(unsigned short comno, KAV_IO_CALLBACK cb, void *context)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (comno < 16) {
        m_callbacks[comno] = cb;
        m_contexts[comno] = context;
    }
}

std::uint32_t FakeBoard::word(unsigned short comno, int group, bool output) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_words.find({comno, group});
    if (it == m_words.end())
        return 0;
    return output ? it->second.second : it->second.first;
}

void FakeBoard::setOutBit(unsigned short comno, int bit, bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto &w = m_words[{comno, bit / IOLB_CHANNELS_PER_GROUP}];
    const std::uint32_t mask = 1u << (bit % IOLB_CHANNELS_PER_GROUP);
    w.second = on ? (w.second | mask) : (w.second & ~mask);
}

bool FakeBoard::pulserBusy(unsigned short comno, int bit) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_busy.find({comno, bit});
    return it != m_busy.end() && it->second;
}

std::uint8_t FakeBoard::firmwareVersion() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_version;
}

std::uint8_t FakeBoard::cardType() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_type;
}

std::uint8_t FakeBoard::frameNumber() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frame;
}

bool FakeBoard::connected() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_connected;
}

} // namespace kavro::fake
