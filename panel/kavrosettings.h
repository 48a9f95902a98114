#pragma once

#include <QDir>
#include <QLatin1String>
#include <QStandardPaths>
#include <QString>

// KAVRO.cfg, the settings file that the tester shell and its card panels share, and the keys the
// panel keeps in it. The shell's own keys are in the shell.
namespace kavrosettings {

inline QString path()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QDir::separator() +
           QStringLiteral("KAVRO.cfg");
}

// Each panel keeps its fields in the group of its card number.
inline QString cardGroup(int comno)
{
    return QStringLiteral("Card%1").arg(comno);
}

inline constexpr QLatin1String PulserBit("pulser_nBit");
// Holds the polarity once more; nothing reads it.
inline constexpr QLatin1String PulserBoardNo("pulser_nBoardNo");
inline constexpr QLatin1String PulserPositive("pulser_bPositive");
inline constexpr QLatin1String PulserCount("pulser_dwCount");
inline constexpr QLatin1String PulserTimePositive("pulser_dwTimePositive");
inline constexpr QLatin1String PulserTimeNegative("pulser_dwTimeNegative");
inline constexpr QLatin1String PulserTimeFirst("pulser_dwTimeFirst");
inline constexpr QLatin1String LoopInterval("cycleoutput_nSpanTime");

} // namespace kavrosettings
