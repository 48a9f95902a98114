#include "errortext.h"

#include "kavro_iolb.h"

#include <cstdint>

#include <QCoreApplication>

namespace {

struct Message
{
    int code;
    const char *text;
};

// Codes without an entry, up to the last one, show the code with nothing after it.
const Message kMessages[] = {
    {IOLB_OK, QT_TRANSLATE_NOOP("Global", "Success")},
    {IOLB_ERR_COMNO,
     QT_TRANSLATE_NOOP("Global",
                       "The value of comno exceeds the maximum number of boards 0<=comno<=15")},
    {IOLB_ERR_OPEN,
     QT_TRANSLATE_NOOP("Global",
                       "Failed to open board: The port does not exist or is already in use")},
    {IOLB_ERR_NOT_OPEN,
     QT_TRANSLATE_NOOP("Global", "The board has not been opened, meaning the "
                                 "iolb_board_open function has not been called.")},
    {IOLB_ERR_DELAYOFF,
     QT_TRANSLATE_NOOP("Global", "The secondevery parameter in iolb_set_delayOff() is incorrect.")},
    {IOLB_ERR_IN_USE,
     QT_TRANSLATE_NOOP("Global", "The comno has already been used in iolb_board_open().")},
    {IOLB_ERR_PULSER_CREATE, QT_TRANSLATE_NOOP("Global", "Failed to create pulse generator")},
    {IOLB_ERR_PULSER_NONE, QT_TRANSLATE_NOOP("Global", "Pulse generator not created")},
    {IOLB_ERR_TIMEOUT, QT_TRANSLATE_NOOP("Global", "Operation timeout")},
    {IOLB_ERR_BITNO, QT_TRANSLATE_NOOP("Global", "bitno Error")},
    {IOLB_ERR_PULSER_LIMIT,
     QT_TRANSLATE_NOOP("Global",
                       "The number of pulse generators exceeds the maximum limit (8 units).")},
    {IOLB_ERR_ADC_IN_CALLBACK,
     QT_TRANSLATE_NOOP("Global", "Retrieve the ADC (by calling the function iolb_board_getadc) "
                                 "within the KAV_IO_CALLBACK function.")},
    {IOLB_ERR_NOT_READY, QT_TRANSLATE_NOOP("Global", "Not ready")},
    {IOLB_ERR_WRITE, QT_TRANSLATE_NOOP("Global", "Write Failure")},
    {IOLB_ERR_READ, QT_TRANSLATE_NOOP("Global", "Read failure")},
    {IOLB_ERR_WRITE_TIMEOUT, QT_TRANSLATE_NOOP("Global", "Write Timeout")},
    {IOLB_ERR_UNSUPPORTED, QT_TRANSLATE_NOOP("Global", "This feature is not supported.")},
    {IOLB_ERR_UNKNOWN, QT_TRANSLATE_NOOP("Global", "Unknown error")},
};

// The long frame covers every code up to the last one with a text.
constexpr std::uint32_t kLongFrameLimit = IOLB_ERR_UNKNOWN + 1;

const char *messageFor(std::uint32_t magnitude)
{
    for (const Message &m : kMessages)
        if (std::uint32_t(m.code) == magnitude)
            return m.text;
    return "";
}

} // namespace

QString errorText(int code)
{
    // The magnitude in 32 bits, compared unsigned: the most negative code stays out of range.
    const std::uint32_t magnitude =
        code < 0 ? std::uint32_t(0) - std::uint32_t(code) : std::uint32_t(code);
    if (magnitude < kLongFrameLimit) {
        const char *message = messageFor(magnitude);
        const QString text = *message ? QCoreApplication::translate("Global", message) : QString();
        return QCoreApplication::translate("Global", "Error Code(%1):%2").arg(code).arg(text);
    }
    return QCoreApplication::translate("Global", "Error Code(%1)").arg(code);
}
