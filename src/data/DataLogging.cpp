// SPDX-License-Identifier: GPL-3.0-or-later
#include "DataLogging.h"

Q_LOGGING_CATEGORY(lcData, "tarnwick.data")
