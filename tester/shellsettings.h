#pragma once

#include "panel/kavrosettings.h"

#include <QLatin1String>

// The shell's keys in KAVRO.cfg; the file and the panels' keys are the panel's.
namespace shellsettings {

inline constexpr QLatin1String Language("Language/CurLan");
inline constexpr QLatin1String LastConnectionGroup("CardLast");
inline constexpr QLatin1String LastAddress("IP");
inline constexpr QLatin1String LastPort("Port");

} // namespace shellsettings
