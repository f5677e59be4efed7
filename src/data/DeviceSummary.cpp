// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceSummary.h"

namespace Tarnwick {

DeviceSummary DeviceSummary::of(const QList<DeviceEntry>& entries)
{
    DeviceSummary summary;
    summary.total = int(entries.size());
    for (const DeviceEntry& e : entries) {
        if (e.awaitingFirstResult) {
            ++summary.notProbed;
        } else if (e.state == DeviceStateConnected) {
            ++summary.connected;
        } else if (e.state == DeviceStateDisconnected) {
            ++summary.disconnected;
            if (e.informOnStateChange)
                ++summary.watchedDisconnected;
        }
    }
    return summary;
}

QString DeviceSummary::text() const
{
    QString text = QStringLiteral("%1 %2: %3 connected, %4 disconnected")
                       .arg(total)
                       .arg(total == 1 ? QStringLiteral("device") : QStringLiteral("devices"))
                       .arg(connected)
                       .arg(disconnected);
    if (notProbed > 0)
        text += QStringLiteral(", %1 not yet probed").arg(notProbed);
    return text;
}

} // namespace Tarnwick
