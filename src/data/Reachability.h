// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

namespace Tarnwick {

// Which disconnected devices are only cut off behind another one that failed. The map's
// lines are read as the network's links, and this computer reaches the network through its
// first hop: a disconnected device every path of which back to the first hop passes through
// another disconnected device is unreachable "behind" that one, rather than failed itself.
class Reachability
{
public:
    using Links = QList<QPair<QString, QString>>;
    // Each device's neighbours by the links, both ways (a link of a device to itself is none).
    static QHash<QString, QStringList> neighboursOf(const Links& links);

    // When a device last answered and when it then missed its first reply, as ticks of any
    // count that only goes up (the order of the results is all that matters). Unknown: never
    // answered, and missing since a time nobody saw.
    struct Heard
    {
        static constexpr qint64 Unknown = -1;
        qint64 lastAnswer = Unknown;
        qint64 firstMiss = Unknown;
    };

    // For each unreachable device, the failed device it is cut off behind (the nearest on its
    // way back). Devices missing from up count as connected (nothing is known against them).
    // Without a first hop nothing is cut off. With heard, the order of the failures counts
    // too: a device is only cut off by failures that had begun when it missed its first reply
    // (a device in its way that answered after that was no cause), so a device that was down
    // before the one it sits behind failed keeps its own failure.
    static QHash<QString, QString> cutOff(const Links& links, const QHash<QString, bool>& up, const QString& firstHop,
                                          const QHash<QString, Heard>& heard = {});
};

} // namespace Tarnwick
