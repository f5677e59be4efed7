// SPDX-License-Identifier: GPL-3.0-or-later
#include "NetLogging.h"

Q_LOGGING_CATEGORY(lcNet, "tarnwick.net")
