// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceStatistics.h"

#include <QMutexLocker>

#include <algorithm>
#include <cstdlib>

namespace Tarnwick {

namespace {
constexpr qint64 MinuteMs = 60000;
constexpr qint64 QuarterMs = 15 * MinuteMs;
constexpr qint64 SixHoursMs = HistoryReader::SketchSpanMs;
} // namespace

LatencySketch* DeviceStatistics::slotFor(SketchRing& ring, qint32 span)
{
    SketchSlot& slot = ring[std::size_t(span) % ring.size()];
    if (slot.span > span)
        return nullptr;
    if (slot.span != span)
        slot = SketchSlot{span, {}};
    return &slot.sketch;
}

DeviceStatistics::Spread DeviceStatistics::spreadOf(const SketchRing& ring, qint32 nowSpan)
{
    LatencySketch sum;
    for (const SketchSlot& slot : ring)
        if (slot.span > nowSpan - qint32(ring.size()) && slot.span <= nowSpan)
            sum.merge(slot.sketch);
    const auto ms = [](std::optional<double> us) { return us ? std::optional(*us / 1000.0) : std::nullopt; };
    return {ms(sum.quantileUs(0.5)), ms(sum.quantileUs(0.95))};
}

DeviceStatistics::Spread DeviceStatistics::spread(const QString& name, qint64 nowMs, SketchRing Device::*ring,
                                                  qint64 spanMs) const
{
    QMutexLocker lock(&m_mutex);
    const auto it = m_devices.all().constFind(name);
    return it == m_devices.all().cend() ? Spread{} : spreadOf((*it).*ring, qint32(nowMs / spanMs));
}

DeviceStatistics::Spread DeviceStatistics::lastHourSpread(const QString& device, qint64 nowMs) const
{
    return spread(device, nowMs, &Device::quarters, QuarterMs);
}

DeviceStatistics::Spread DeviceStatistics::lastDaySpread(const QString& device, qint64 nowMs) const
{
    return spread(device, nowMs, &Device::sixHours, SixHoursMs);
}

void DeviceStatistics::record(const ProbeRecord& result)
{
    // A host that answers ARP but drops echo requests is there: its results are no lost
    // replies, and count neither way in its loss.
    if (result.result.kind == ProbeResult::Present)
        return;
    const auto minute = qint32(result.atMs / MinuteMs);
    QMutexLocker lock(&m_mutex);
    Device& device = m_devices.at(result.device, result.slot);
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
    for (const auto& [ring, spanMs] :
         {std::pair{&Device::quarters, QuarterMs}, std::pair{&Device::sixHours, SixHoursMs}})
        if (LatencySketch* sketch = slotFor(device.*ring, qint32(result.atMs / spanMs)))
            sketch->add(roundTripUs);
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
    Device& device = m_devices.at(name);
    if (LatencySketch* sketch = slotFor(device.quarters, qint32(minute.startMs / QuarterMs)))
        sketch->merge(minute.sketch);
    Bucket& bucket = device.buckets[std::size_t(number % 60)];
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

void DeviceStatistics::addKeptSixHours(const QString& name, qint64 startMs, const LatencySketch& sketch)
{
    QMutexLocker lock(&m_mutex);
    if (LatencySketch* slot = slotFor(m_devices.at(name).sixHours, qint32(startMs / SixHoursMs)))
        slot->merge(sketch);
}

DeviceStatistics::Summary DeviceStatistics::lastMinutes(const QString& name, qint64 nowMs, int minutes) const
{
    Summary summary;
    QMutexLocker lock(&m_mutex);
    const auto it = m_devices.all().constFind(name);
    if (it == m_devices.all().cend())
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
