// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppLogging.h"

Q_LOGGING_CATEGORY(lcApp, "tarnwick.app")
