// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/DeviceEntry.h"
#include "history/DeviceStatistics.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace Tarnwick {

class MonitorCore;
class StateSince;

// What the API tells of a device, gathered on the store's thread (the list, its state, the
// views of who is slow, muted or cut off, the last hour) and written as JSON wherever.
class DeviceJson
{
public:
    DeviceEntry entry;
    std::optional<qint64> sinceMs;
    bool slow = false;
    // Muted now: when its alerts are heard again (invalid: not before it is unmuted).
    std::optional<QDateTime> mutedUntil;
    QString behind;
    // In maintenance now: when it ends (invalid: not known).
    std::optional<QDateTime> maintenanceEnds;
    DeviceStatistics::Summary hour;

    static DeviceJson of(const DeviceEntry& entry, MonitorCore& core, const StateSince& since, qint64 nowMs);
    static QList<DeviceJson> ofAll(MonitorCore& core, const StateSince& since);

    // The device as a JSON object, added to out.
    void write(QByteArray& out) const;
    // The device alone, and a list of them, as a response's body.
    QByteArray document() const;
    static QByteArray document(const QList<DeviceJson>& devices);
    // "connected", "disconnected", "not yet probed" or "present".
    QString stateText() const;
    // How the API writes a check: "echo", "arp", "tcp:443".
    static QString checkText(const DeviceCheck& check);
    // UTC, to the second: "2026-12-09T21:00:00Z". A time in UTC already is written without a
    // look at the time zone (which costs a file's status each time).
    static QString time(const QDateTime& at);
};

} // namespace Tarnwick
