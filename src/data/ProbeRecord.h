// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ProbeResult.h"

#include <QString>

namespace Tarnwick {

// One probe result of the monitor, with the device and the time, as the history keeps it.
struct ProbeRecord
{
    QString device; // the entry's address text
    qint64 atMs = 0; // UTC, milliseconds since the epoch
    ProbeResult result;
};

} // namespace Tarnwick
