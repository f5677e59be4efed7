// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>

// Diagnostics of the probes, the monitor and the scans ("tarnwick.net").
Q_DECLARE_LOGGING_CATEGORY(lcNet)
