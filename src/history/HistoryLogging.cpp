#include "HistoryLogging.h"

Q_LOGGING_CATEGORY(lcHistory, "tarnwick.history")
