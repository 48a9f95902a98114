// The exported C functions of every board library; each library supplies library().
#include "boardlibrary.h"

using kavro::boardlib::library;

extern "C" {

int iolb_board_open(const char *port, unsigned short comno)
{
    return library().open(port, comno);
}

int iolb_board_close(unsigned short comno)
{
    return library().close(comno);
}

int iolb_board_isconnected(unsigned short comno)
{
    return library().isConnected(comno);
}

int iolb_board_getboardinfo(unsigned short comno, unsigned char *firmwareVersion,
                            unsigned char *cardType)
{
    return library().boardInfo(comno, firmwareVersion, cardType);
}

int iolb_board_getcurframeno(unsigned short comno, unsigned char *frameno)
{
    return library().frameNumber(comno, frameno);
}

int iolb_board_setcallback(unsigned short comno, KAV_IO_CALLBACK callback, void *context)
{
    return library().setCallback(comno, callback, context);
}

unsigned int iolb_read_inport(unsigned short comno, int group)
{
    return library().readInPort(comno, group);
}

unsigned int iolb_read_outport(unsigned short comno, unsigned short group)
{
    return library().readOutPort(comno, group);
}

int iolb_read_outbit(unsigned short comno, int bitno)
{
    return library().readOutBit(comno, bitno);
}

int iolb_write_outbit(unsigned short comno, int bitno, int level)
{
    return library().writeOutBit(comno, bitno, level);
}

int iolb_write_delayOff(unsigned short comno, int timebase, int multiple)
{
    return library().delayOff(comno, timebase, multiple);
}

int iolb_board_pulser_isbusy(unsigned short comno, unsigned short outbit, unsigned char *busy)
{
    return library().pulserBusy(comno, outbit, busy);
}

int iolb_board_pulser_pulse(unsigned short comno, unsigned short outbit, unsigned char polarity,
                            unsigned short count, unsigned short positiveMs,
                            unsigned short negativeMs, unsigned short leadMs)
{
    return library().pulse(comno, outbit, polarity, count, positiveMs, negativeMs, leadMs);
}

int iolb_board_pulser_terminate(unsigned short comno, unsigned short outbit)
{
    return library().terminatePulser(comno, outbit);
}

} // extern "C"
