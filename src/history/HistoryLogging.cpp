// SPDX-License-Identifier: GPL-3.0-or-later
#include "HistoryLogging.h"

Q_LOGGING_CATEGORY(lcHistory, "tarnwick.history")
