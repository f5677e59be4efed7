// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "HistoryReader.h"
#include "data/ProbeRecord.h"

#include <QHash>
#include <QMutex>
#include <QString>

#include <array>
#include <optional>

namespace Tarnwick {

// The last hour of each device's probe results, in one-minute buckets, for what the device
// list shows: loss, average round trip, jitter and when the device last answered. Fed from any
// thread; memory does not grow with the rate of probes.
class DeviceStatistics
{
public:
    struct Summary
    {
        int sent = 0;
        int received = 0;
        std::optional<double> lossPercent; // none before the first result
        std::optional<double> averageMs; // none before the first reply
        std::optional<double> jitterMs; // mean change between successive round trips
        std::optional<qint64> lastAnsweredMs; // UTC, whenever it was
    };

    void record(const ProbeRecord& result);
    // Counts a minute the history kept from before this run (its round trips only as a sum:
    // no jitter, no last answer); one older than what its slot holds is left out.
    void addKeptMinute(const QString& device, const HistoryReader::Bucket& minute);
    // Drops what the device's results said so far (its check changed: they are another
    // check's figures).
    void forget(const QString& device);
    Summary lastHour(const QString& device, qint64 nowMs) const { return lastMinutes(device, nowMs, 60); }
    // The current minute and the minutes - 1 before it (1 to 60).
    Summary lastMinutes(const QString& device, qint64 nowMs, int minutes) const;

private:
    // 32 bytes: sixty of them are most of what a watched device costs. Minutes since 1970 fit
    // in 32 bits for four thousand years.
    struct Bucket
    {
        qint32 minute = -1;
        qint32 sent = 0;
        qint32 received = 0;
        qint32 changes = 0;
        qint64 sumUs = 0;
        qint64 changeSumUs = 0;
    };
    static_assert(sizeof(Bucket) == 32);
    struct Device
    {
        std::array<Bucket, 60> buckets;
        qint64 lastRoundTripUs = -1;
        qint64 lastAnsweredMs = -1;
    };

    mutable QMutex m_mutex;
    QHash<QString, Device> m_devices;
};

} // namespace Tarnwick
