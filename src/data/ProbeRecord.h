// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace Tarnwick {

// One probe result of the monitor, as the history keeps it.
struct ProbeRecord
{
    enum Outcome { Answered = 0, NoReply = 1, SocketError = 2 };

    QString device; // the entry's address text
    qint64 atMs = 0; // UTC, milliseconds since the epoch
    Outcome outcome = NoReply;
    qint64 roundTripUs = 0; // when answered
};

} // namespace Tarnwick
