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

    // For each unreachable device, the failed device it is cut off behind (the nearest on its
    // way back). Devices missing from up count as connected (nothing is known against them).
    // Without a first hop nothing is cut off.
    static QHash<QString, QString> cutOff(const Links& links, const QHash<QString, bool>& up, const QString& firstHop);

    // The result in use by the program, for whatever shows a device.
    static QString behind(const QString& ip);
    // How many devices are cut off behind this one, in the result in use.
    static int countBehind(const QString& ip);
    static void setCurrent(QHash<QString, QString> cutOff);
};

} // namespace Tarnwick
