// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "NetworkSighting.h"

#include <QList>
#include <QMetaType>
#include <QStringList>

namespace Tarnwick {

// What one sweep of the watched networks heard.
struct NetworkRound
{
    // One per address and hardware address: a host that answers from two gives two.
    QList<NetworkSighting> seen;
    QStringList networks; // the IPv4 networks swept, "10.0.0.0/24"
    QStringList skipped; // one line each for what could not be swept, "127.0.0.0/8: lo has no ARP; not swept"
    int requestsSent = 0; // ARP requests
    qint64 elapsedMs = 0;
};

} // namespace Tarnwick

Q_DECLARE_METATYPE(Tarnwick::NetworkRound)
