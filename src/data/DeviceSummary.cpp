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
    //: %2: how many of the connected devices are slow, " (1 slow)", or nothing
    QString text = tr("%n devices: %1 connected%2, %3 disconnected", nullptr, total)
                       .arg(QString::number(connected), slow > 0 ? tr(" (%1 slow)").arg(slow) : QString(),
                            QString::number(disconnected));
    if (notProbed > 0)
        text += tr(", %1 not yet probed").arg(notProbed);
    if (withoutAddress > 0)
        text += tr(", %1 without an address").arg(withoutAddress);
    return text;
}

} // namespace Tarnwick
