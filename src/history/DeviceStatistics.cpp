// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceStatistics.h"

#include <QMutexLocker>

#include <algorithm>
#include <cstdlib>

namespace Tarnwick {

namespace {
constexpr qint64 MinuteMs = 60000;
}

void DeviceStatistics::record(const ProbeRecord& result)
{
    // A host that answers ARP but drops echo requests is there: its results are no lost
    // replies, and count neither way in its loss.
    if (result.result.kind == ProbeResult::Present)
        return;
    const auto minute = qint32(result.atMs / MinuteMs);
    QMutexLocker lock(&m_mutex);
    Device& device = m_devices[result.device];
    Bucket& bucket = device.buckets[std::size_t(minute % 60)];
    if (bucket.minute != minute)
        bucket = Bucket{.minute = minute};
    ++bucket.sent;
    if (!result.result.answered())
        return;
    const qint64 roundTripUs = result.result.roundTripUs;
    ++bucket.received;
    bucket.sumUs += roundTripUs;
    if (device.lastRoundTripUs >= 0) {
        bucket.changeSumUs += std::llabs(roundTripUs - device.lastRoundTripUs);
        ++bucket.changes;
    }
    device.lastRoundTripUs = roundTripUs;
    device.lastAnsweredMs = result.atMs;
}

void DeviceStatistics::forget(const QString& device)
{
    QMutexLocker lock(&m_mutex);
    m_devices.remove(device);
}

void DeviceStatistics::addKeptMinute(const QString& name, const HistoryReader::Bucket& minute)
{
    const auto number = qint32(minute.startMs / MinuteMs);
    QMutexLocker lock(&m_mutex);
    Bucket& bucket = m_devices[name].buckets[std::size_t(number % 60)];
    // Kept minutes come in while this run records: one an hour older than the slot's never
    // takes the place of this run's minute.
    if (bucket.minute > number)
        return;
    if (bucket.minute != number)
        bucket = Bucket{.minute = number};
    bucket.sent += minute.sent;
    bucket.received += minute.received;
    bucket.sumUs += minute.sumUs;
}

DeviceStatistics::Summary DeviceStatistics::lastMinutes(const QString& name, qint64 nowMs, int minutes) const
{
    Summary summary;
    QMutexLocker lock(&m_mutex);
    const auto it = m_devices.constFind(name);
    if (it == m_devices.cend())
        return summary;
    const qint64 nowMinute = nowMs / MinuteMs;
    qint64 sumUs = 0;
    qint64 changeSumUs = 0;
    int changes = 0;
    for (const Bucket& bucket : it->buckets) {
        if (bucket.minute <= nowMinute - std::clamp(minutes, 1, 60) || bucket.minute > nowMinute)
            continue;
        summary.sent += bucket.sent;
        summary.received += bucket.received;
        sumUs += bucket.sumUs;
        changeSumUs += bucket.changeSumUs;
        changes += bucket.changes;
    }
    if (summary.sent > 0)
        summary.lossPercent = 100.0 * (summary.sent - summary.received) / summary.sent;
    if (summary.received > 0)
        summary.averageMs = double(sumUs) / summary.received / 1000.0;
    if (changes > 0)
        summary.jitterMs = double(changeSumUs) / changes / 1000.0;
    if (it->lastAnsweredMs >= 0)
        summary.lastAnsweredMs = it->lastAnsweredMs;
    return summary;
}

} // namespace Tarnwick
