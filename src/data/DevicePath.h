// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

namespace Tarnwick {

// The routers on the way to a device as its last complete trace found them, and since when the
// way has been that one.
struct DevicePath
{
    // In order from this computer, the device left out; an empty text for a hop that did not
    // answer. None for a device on a network of this computer's own.
    QStringList routers;
    qint64 sinceMs = 0;

    // "via 10.0.0.1, 10.9.9.1" ("*" for a hop that did not answer), or "directly", in English.
    static QString viaText(const QStringList& routers);
    // Whether the routers are the same way: as many hops, and the same router wherever both
    // heard one (a hop that held its answer back, as routers limit them, changes nothing).
    bool sameWayAs(const QStringList& other) const;
    // The other routers, with this path's where the other heard none: on the same way, or where
    // the hops either side are this path's.
    QStringList filledIn(const QStringList& other) const;

    bool operator==(const DevicePath& other) const = default;
};

} // namespace Tarnwick
