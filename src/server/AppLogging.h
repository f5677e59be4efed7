// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>

// Diagnostics of start-up, shutdown and the windows ("tarnwick.app").
Q_DECLARE_LOGGING_CATEGORY(lcApp)
