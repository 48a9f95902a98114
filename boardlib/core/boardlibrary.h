#pragma once

#include "boardlib/include/kavro_iolb.h"
#include "cardsession.h"
#include "transport.h"

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace kavro::boardlib {

// The fourteen functions over up to sixteen open cards, whatever carries the link. Each
// library gives it the transport for a port text. Every call may come from any thread.
class BoardLibrary
{
public:
    static constexpr int MaxCards = 16;

    // Makes the transport for a port text and card number, or returns null when they name
    // none.
    using TransportFactory = std::function<std::unique_ptr<Transport>(const std::string &portText,
                                                                      unsigned short comno)>;

    explicit BoardLibrary(TransportFactory factory, CardSession::Timing timing = {});
    ~BoardLibrary();

    int open(const char *port, unsigned short comno);
    int close(unsigned short comno);
    int isConnected(unsigned short comno);
    int boardInfo(unsigned short comno, unsigned char *firmwareVersion, unsigned char *cardType);
    int frameNumber(unsigned short comno, unsigned char *frameno);
    int setCallback(unsigned short comno, KAV_IO_CALLBACK callback, void *context);
    unsigned int readInPort(unsigned short comno, int group);
    unsigned int readOutPort(unsigned short comno, unsigned short group);
    int readOutBit(unsigned short comno, int bit);
    int writeOutBit(unsigned short comno, int bit, int level);
    int delayOff(unsigned short comno, int timeBase, int multiple);
    int pulserBusy(unsigned short comno, unsigned short bit, unsigned char *busy);
    int pulse(unsigned short comno, unsigned short bit, unsigned char polarity,
              unsigned short count, unsigned short positiveMs, unsigned short negativeMs,
              unsigned short leadMs);
    int terminatePulser(unsigned short comno, unsigned short bit);

private:
    std::shared_ptr<CardSession> card(unsigned short comno);

    TransportFactory m_factory;
    CardSession::Timing m_timing;
    std::mutex m_mutex;
    std::array<std::shared_ptr<CardSession>, MaxCards> m_cards;
    std::array<bool, MaxCards> m_opening{};
};

// Each library defines the one instance the exported functions use.
BoardLibrary &library();

} // namespace kavro::boardlib
