#include "boardlog.h"

Q_LOGGING_CATEGORY(boardLog, "kavro.board")
