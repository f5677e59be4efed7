// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceSummary.h"

#include "SlowView.h"

namespace Tarnwick {

DeviceSummary DeviceSummary::of(const QList<DeviceEntry>& entries, const SlowView* slow)
{
    DeviceSummary summary;
    summary.total = int(entries.size());
    for (const DeviceEntry& e : entries) {
        if (!e.hasAddress()) {
            ++summary.withoutAddress;
        } else if (e.awaitingFirstResult) {
            ++summary.notProbed;
        } else if (e.state == DeviceStateConnected) {
            ++summary.connected;
            if (slow && slow->isSlow(e.ip))
                ++summary.slow;
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
    const QString slowText = slow > 0 ? QStringLiteral(" (%1 slow)").arg(slow) : QString();
    QString text = QStringLiteral("%1 %2: %3 connected%4, %5 disconnected")
                       .arg(total)
                       .arg(total == 1 ? QStringLiteral("device") : QStringLiteral("devices"))
                       .arg(connected)
                       .arg(slowText)
                       .arg(disconnected);
    if (notProbed > 0)
        text += QStringLiteral(", %1 not yet probed").arg(notProbed);
    if (withoutAddress > 0)
        text += QStringLiteral(", %1 without an address").arg(withoutAddress);
    return text;
}

} // namespace Tarnwick
