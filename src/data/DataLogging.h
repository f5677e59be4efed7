// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>

// Diagnostics of the data files: failed loads and saves, copies kept aside.
// Shown with QT_LOGGING_RULES="tarnwick.data.debug=true" and the like.
Q_DECLARE_LOGGING_CATEGORY(lcData)
