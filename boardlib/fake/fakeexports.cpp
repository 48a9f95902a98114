// The fourteen functions, answered by FakeBoard.
#include "fakeboard.h"

using kavro::fake::FakeBoard;

namespace {
FakeBoard &fake()
{
    return FakeBoard::instance();
}
} // namespace

extern "C" {

int iolb_board_open(const char *port, unsigned short comno)
{
    const int r = fake().record("iolb_board_open", {comno}, port ? port : "");
    if (r == 0)
        fake().markOpen(comno, true);
    return r;
}

int iolb_board_close(unsigned short comno)
{
    const int r = fake().record("iolb_board_close", {comno});
    fake().markOpen(comno, false);
    return r;
}

int iolb_board_isconnected(unsigned short comno)
{
    fake().record("iolb_board_isconnected", {comno});
    return fake().connected() ? 1 : 0;
}

int iolb_board_getboardinfo(unsigned short comno, unsigned char *firmwareVersion,
                            unsigned char *cardType)
{
    const int r = fake().record("iolb_board_getboardinfo", {comno});
    if (r == 0) {
        if (firmwareVersion)
            *firmwareVersion = fake().firmwareVersion();
        if (cardType)
            *cardType = fake().cardType();
    }
    return r;
}

int iolb_board_getcurframeno(unsigned short comno, unsigned char *frameno)
{
    const int r = fake().record("iolb_board_getcurframeno", {comno, frameno ? 1 : 0});
    if (r == 0 && frameno)
        *frameno = fake().frameNumber();
    return r;
}

int iolb_board_setcallback(unsigned short comno, KAV_IO_CALLBACK callback, void *context)
{
    const int r = fake().record("iolb_board_setcallback", {comno, callback ? 1 : 0});
    fake().setCallback(comno, callback, context);
    return r;
}

unsigned int iolb_read_inport(unsigned short comno, int group)
{
    fake().record("iolb_read_inport", {comno, group});
    return fake().word(comno, group, false);
}

unsigned int iolb_read_outport(unsigned short comno, unsigned short group)
{
    fake().record("iolb_read_outport", {comno, group});
    return fake().word(comno, group, true);
}

int iolb_read_outbit(unsigned short comno, int bitno)
{
    fake().record("iolb_read_outbit", {comno, bitno});
    if (bitno < 0)
        return 0;
    return int((fake().word(comno, bitno / IOLB_CHANNELS_PER_GROUP, true) >>
                (bitno % IOLB_CHANNELS_PER_GROUP)) &
               1u);
}

int iolb_write_outbit(unsigned short comno, int bitno, int level)
{
    const int r = fake().record("iolb_write_outbit", {comno, bitno, level});
    if (r == 0 && bitno >= 0)
        fake().setOutBit(comno, bitno, level != 0);
    return r;
}

int iolb_write_delayOff(unsigned short comno, int timebase, int multiple)
{
    return fake().record("iolb_write_delayOff", {comno, timebase, multiple});
}

int iolb_board_pulser_isbusy(unsigned short comno, unsigned short outbit, unsigned char *busy)
{
    const int r = fake().record("iolb_board_pulser_isbusy", {comno, outbit});
    if (r == 0 && busy)
        *busy = fake().pulserBusy(comno, outbit) ? 1 : 0;
    return r;
}

int iolb_board_pulser_pulse(unsigned short comno, unsigned short outbit, unsigned char polarity,
                            unsigned short count, unsigned short positiveMs,
                            unsigned short negativeMs, unsigned short leadMs)
{
    return fake().record("iolb_board_pulser_pulse",
                         {comno, outbit, polarity, count, positiveMs, negativeMs, leadMs});
}

int iolb_board_pulser_terminate(unsigned short comno, unsigned short outbit)
{
    return fake().record("iolb_board_pulser_terminate", {comno, outbit});
}

} // extern "C"
