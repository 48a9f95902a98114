/* The board library interface: fourteen functions and one callback type, the same in every
 * build of the library (network, serial port, PCIe). A card is named by its card number
 * comno, 0 to 15, under which it was opened. Unless said otherwise a function returns a
 * result code, 0 for success. */
#ifndef KAVRO_IOLB_H
#define KAVRO_IOLB_H

#if defined(_WIN32) || defined(__CYGWIN__)
#if defined(KAVRO_IOLB_BUILD)
#define IOLB_API __declspec(dllexport)
#else
#define IOLB_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define IOLB_API __attribute__((visibility("default")))
#else
#define IOLB_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes. Every function that returns one gives IOLB_OK (0) on success; the testers
 * show the others with their texts. Codes 13, 14, 18, 23, 25 and 26 have texts but no
 * library of ours returns them. */
enum iolb_result {
    IOLB_OK = 0,
    IOLB_ERR_COMNO = 1,          /* comno above 15 */
    IOLB_ERR_OPEN = 2,           /* no such port, bad port text, connection refused or timed out */
    IOLB_ERR_NOT_OPEN = 4,       /* comno was not opened */
    IOLB_ERR_DELAYOFF = 5,       /* time base other than 18, 19, 20, or multiple outside 1 to 9 */
    IOLB_ERR_IN_USE = 6,         /* comno is open already */
    IOLB_ERR_PULSER_CREATE = 13, /* a pulse generator could not be made */
    IOLB_ERR_PULSER_NONE = 14,   /* no pulse generator was made */
    IOLB_ERR_TIMEOUT = 15,       /* the card did not answer in time */
    IOLB_ERR_BITNO = 16,         /* bit number outside the card */
    IOLB_ERR_PULSER_LIMIT = 17,  /* pulse generator for output 8 or above */
    IOLB_ERR_ADC_IN_CALLBACK = 18,
    IOLB_ERR_NOT_READY = 21, /* the link is down */
    IOLB_ERR_WRITE = 22,     /* the read-back does not show the written level */
    IOLB_ERR_READ = 23,
    IOLB_ERR_WRITE_TIMEOUT = 24, /* the write's answer did not come in time or came garbled */
    IOLB_ERR_UNSUPPORTED = 25,
    IOLB_ERR_UNKNOWN = 26
};

/* A group holds this many channels; bit numbers count across groups: group * 32 + bit. */
enum { IOLB_CHANNELS_PER_GROUP = 32 };

/* Called on a thread of the library's own when a group's words change. It must not touch
 * widgets and should return quickly. */
typedef void (*KAV_IO_CALLBACK)(void *context, unsigned short comno, unsigned short group,
                                unsigned int inputstatus, unsigned int outputstatus,
                                unsigned int inputstatus_last, unsigned int outputstatus_last,
                                unsigned char framenum);

/* port: "address:port" (network), the port's name (serial), "PCIE" (PCIe). */
IOLB_API int iolb_board_open(const char *port, unsigned short comno);
IOLB_API int iolb_board_close(unsigned short comno);
/* Non-zero while the link is up: a flag, not a result code. */
IOLB_API int iolb_board_isconnected(unsigned short comno);
IOLB_API int iolb_board_getboardinfo(unsigned short comno, unsigned char *firmwareVersion,
                                     unsigned char *cardType);
/* With a null frameno it only tests that comno is open. */
IOLB_API int iolb_board_getcurframeno(unsigned short comno, unsigned char *frameno);
/* A null callback with a null context removes it. */
IOLB_API int iolb_board_setcallback(unsigned short comno, KAV_IO_CALLBACK callback, void *context);
IOLB_API unsigned int iolb_read_inport(unsigned short comno, int group);
IOLB_API unsigned int iolb_read_outport(unsigned short comno, unsigned short group);
/* bitno counts across groups: group * 32 + bit in group. Returns the level, non-zero = on. */
IOLB_API int iolb_read_outbit(unsigned short comno, int bitno);
IOLB_API int iolb_write_outbit(unsigned short comno, int bitno, int level);
/* timebase 18, 19 or 20 (0.1 s, 0.5 s, 1 s), multiple 1 to 9: output 0 goes on and goes off
 * by itself after multiple x timebase. */
IOLB_API int iolb_write_delayOff(unsigned short comno, int timebase, int multiple);
IOLB_API int iolb_board_pulser_isbusy(unsigned short comno, unsigned short outbit,
                                      unsigned char *busy);
/* polarity 1 = positive; times in milliseconds; count 0xFFFF runs until terminated. */
IOLB_API int iolb_board_pulser_pulse(unsigned short comno, unsigned short outbit,
                                     unsigned char polarity, unsigned short count,
                                     unsigned short positiveMs, unsigned short negativeMs,
                                     unsigned short leadMs);
IOLB_API int iolb_board_pulser_terminate(unsigned short comno, unsigned short outbit);

#ifdef __cplusplus
}
#endif

#endif /* KAVRO_IOLB_H */
