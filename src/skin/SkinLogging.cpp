// SPDX-License-Identifier: GPL-3.0-or-later
#include "SkinLogging.h"

Q_LOGGING_CATEGORY(lcSkin, "tarnwick.skin")
