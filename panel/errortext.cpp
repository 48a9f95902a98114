#include "errortext.h"

#include <cstdint>

#include <QCoreApplication>

namespace {

// Indexed by the magnitude of the code; empty entries show the code with nothing after it.
const char *const kMessages[27] = {
    QT_TRANSLATE_NOOP("Global", "Success"),
    QT_TRANSLATE_NOOP("Global",
                      "The value of comno exceeds the maximum number of boards 0<=comno<=15"),
    QT_TRANSLATE_NOOP("Global",
                      "Failed to open board: The port does not exist or is already in use"),
    "",
    QT_TRANSLATE_NOOP("Global", "The board has not been opened, meaning the iolb_board_open "
                                "function has not been called."),
    QT_TRANSLATE_NOOP("Global", "The secondevery parameter in iolb_set_delayOff() is incorrect."),
    QT_TRANSLATE_NOOP("Global", "The comno has already been used in iolb_board_open()."),
    "",
    "",
    "",
    "",
    "",
    "",
    QT_TRANSLATE_NOOP("Global", "Failed to create pulse generator"),
    QT_TRANSLATE_NOOP("Global", "Pulse generator not created"),
    QT_TRANSLATE_NOOP("Global", "Operation timeout"),
    QT_TRANSLATE_NOOP("Global", "bitno Error"),
    QT_TRANSLATE_NOOP("Global",
                      "The number of pulse generators exceeds the maximum limit (8 units)."),
    QT_TRANSLATE_NOOP("Global", "Retrieve the ADC (by calling the function iolb_board_getadc) "
                                "within the KAV_IO_CALLBACK function."),
    "",
    "",
    QT_TRANSLATE_NOOP("Global", "Not ready"),
    QT_TRANSLATE_NOOP("Global", "Write Failure"),
    QT_TRANSLATE_NOOP("Global", "Read failure"),
    QT_TRANSLATE_NOOP("Global", "Write Timeout"),
    QT_TRANSLATE_NOOP("Global", "This feature is not supported."),
    QT_TRANSLATE_NOOP("Global", "Unknown error"),
};

} // namespace

QString errorText(int code)
{
    // The magnitude in 32 bits, compared unsigned: the most negative code stays out of range.
    const std::uint32_t magnitude =
        code < 0 ? std::uint32_t(0) - std::uint32_t(code) : std::uint32_t(code);
    if (magnitude < 27) {
        const char *message = kMessages[magnitude];
        const QString text = *message ? QCoreApplication::translate("Global", message) : QString();
        return QCoreApplication::translate("Global", "Error Code(%1):%2").arg(code).arg(text);
    }
    return QCoreApplication::translate("Global", "Error Code(%1)").arg(code);
}
