// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>

// Diagnostics of the result history ("tarnwick.history").
Q_DECLARE_LOGGING_CATEGORY(lcHistory)
