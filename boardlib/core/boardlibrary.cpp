#include "boardlibrary.h"

#include "link/cardidentity.h"
#include "resultcode.h"

namespace kavro::boardlib {

BoardLibrary::BoardLibrary(TransportFactory factory, CardSession::Timing timing)
    : m_factory(std::move(factory)), m_timing(timing)
{
}

BoardLibrary::~BoardLibrary()
{
    for (auto &c : m_cards)
        if (c)
            c->close();
}

std::shared_ptr<CardSession> BoardLibrary::card(unsigned short comno)
{
    if (comno >= MaxCards)
        return nullptr;
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_cards[comno];
}

int BoardLibrary::open(const char *port, unsigned short comno)
{
    if (comno >= MaxCards)
        return BadCardNumber;
    {
        // The slot is held while connecting, so a second open of the same number is refused
        // without waiting for the first.
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_cards[comno] || m_opening[comno])
            return AlreadyOpen;
        m_opening[comno] = true;
    }
    std::shared_ptr<CardSession> session;
    int result = OpenFailed;
    if (port) {
        if (auto transport = m_factory(port, comno)) {
            session = std::make_shared<CardSession>(comno, std::move(transport), m_timing);
            result = session->open();
        }
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_opening[comno] = false;
    if (result == Ok)
        m_cards[comno] = session;
    return result;
}

int BoardLibrary::close(unsigned short comno)
{
    std::shared_ptr<CardSession> session;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (comno >= MaxCards || !m_cards[comno])
            return NotOpen;
        session = std::move(m_cards[comno]);
    }
    session->close();
    return Ok;
}

int BoardLibrary::isConnected(unsigned short comno)
{
    auto c = card(comno);
    return c && c->isConnected() ? 1 : 0;
}

int BoardLibrary::boardInfo(unsigned short comno, unsigned char *firmwareVersion,
                            unsigned char *cardType)
{
    auto c = card(comno);
    if (!c)
        return NotOpen;
    if (!c->linkUp())
        return NotReady;
    if (firmwareVersion)
        *firmwareVersion = link::kNetFirmwareVersion;
    if (cardType)
        *cardType = link::kNetCardType;
    return Ok;
}

int BoardLibrary::frameNumber(unsigned short comno, unsigned char *frameno)
{
    auto c = card(comno);
    if (!c)
        return NotOpen;
    if (frameno)
        *frameno = c->sequence();
    return Ok;
}

int BoardLibrary::setCallback(unsigned short comno, KAV_IO_CALLBACK callback, void *context)
{
    auto c = card(comno);
    if (!c)
        return NotOpen;
    c->setCallback(callback, context);
    return Ok;
}

unsigned int BoardLibrary::readInPort(unsigned short comno, int group)
{
    auto c = card(comno);
    return c && group == 0 ? c->inputWord() : 0u;
}

unsigned int BoardLibrary::readOutPort(unsigned short comno, unsigned short group)
{
    auto c = card(comno);
    return c && group == 0 ? c->outputWord() : 0u;
}

int BoardLibrary::readOutBit(unsigned short comno, int bit)
{
    auto c = card(comno);
    if (!c || bit < 0 || bit >= link::kNetCardBitsPerGroup)
        return 0;
    return int((c->outputWord() >> bit) & 1u);
}

int BoardLibrary::writeOutBit(unsigned short comno, int bit, int level)
{
    auto c = card(comno);
    if (!c)
        return NotOpen;
    return c->writeOutBit(bit, level != 0);
}

int BoardLibrary::delayOff(unsigned short comno, int timeBase, int multiple)
{
    auto c = card(comno);
    if (!c)
        return NotOpen;
    return c->delayOff(timeBase, multiple);
}

int BoardLibrary::pulserBusy(unsigned short comno, unsigned short bit, unsigned char *busy)
{
    if (bit >= 8)
        return BadPulser;
    auto c = card(comno);
    if (!c)
        return NotOpen;
    if (busy)
        *busy = c->pulserRunning(bit) ? 1 : 0;
    return Ok;
}

int BoardLibrary::pulse(unsigned short comno, unsigned short bit, unsigned char polarity,
                        unsigned short count, unsigned short positiveMs, unsigned short negativeMs,
                        unsigned short leadMs)
{
    if (bit >= 8)
        return BadPulser;
    auto c = card(comno);
    if (!c)
        return NotOpen;
    return c->pulse(bit, polarity == 1, count, positiveMs, negativeMs, leadMs);
}

int BoardLibrary::terminatePulser(unsigned short comno, unsigned short bit)
{
    if (bit >= 8)
        return BadPulser;
    auto c = card(comno);
    if (!c)
        return NotOpen;
    return c->terminatePulser(bit);
}

} // namespace kavro::boardlib
