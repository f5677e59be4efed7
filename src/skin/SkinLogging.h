// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>

// Diagnostics of the skin: names that are refused, pictures that are missing ("tarnwick.skin").
Q_DECLARE_LOGGING_CATEGORY(lcSkin)
