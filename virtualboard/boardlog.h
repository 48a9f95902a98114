#pragma once

#include <QLoggingCategory>

// The board's debug log: its TCP link and UDP configuration service. A message whose category
// is switched off is not even formatted, which matters for the per-frame lines under load.
Q_DECLARE_LOGGING_CATEGORY(boardLog)
