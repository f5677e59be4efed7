// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "NetworkSighting.h"

#include <QList>
#include <QMetaType>
#include <QStringList>

namespace Tarnwick {

// What one sweep of the local networks heard.
struct NetworkRound
{
    QList<NetworkSighting> seen;
    // As swept, "10.0.0.0/24".
    QStringList networks;
    // One log line for each network or link that could not be swept, and why.
    QStringList skipped;
    int requestsSent = 0;
    qint64 elapsedMs = 0;
};

} // namespace Tarnwick

Q_DECLARE_METATYPE(Tarnwick::NetworkRound)
