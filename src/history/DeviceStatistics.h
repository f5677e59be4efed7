// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "HistoryReader.h"
#include "LatencySketch.h"
#include "data/ProbeRecord.h"
#include "data/SlottedHash.h"

#include <QHash>
#include <QMutex>
#include <QString>

#include <array>
#include <optional>

namespace Tarnwick {

// The last hour of each device's probe results, in one-minute buckets, for what the device
// list shows: loss, average round trip, jitter and when the device last answered; and the
// spread of its round trips over the last hour and day, in latency sketches of a quarter of an
// hour and of six hours each. Fed from any thread; memory does not grow with the rate of probes.
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

    // The median and 95th percentile of the round trips.
    struct Spread
    {
        std::optional<double> medianMs;
        std::optional<double> percentile95Ms;
    };

    void record(const ProbeRecord& result);
    // Counts a minute the history kept from before this run (its round trips only as a sum and a
    // sketch: no jitter, no last answer); one older than what its slot holds is left out.
    void addKeptMinute(const QString& device, const HistoryReader::Bucket& minute);
    // Counts the sketch of a span of six hours (from startMs, UTC, a multiple of six hours) the
    // history kept from before this run.
    void addKeptSixHours(const QString& device, qint64 startMs, const LatencySketch& sketch);
    // Drops what the device's results said so far (its check changed: they are another
    // check's figures).
    void forget(const QString& device);
    Summary lastHour(const QString& device, qint64 nowMs) const { return lastMinutes(device, nowMs, 60); }
    // The current minute and the minutes - 1 before it (1 to 60).
    Summary lastMinutes(const QString& device, qint64 nowMs, int minutes) const;
    // The spread over the current quarter of an hour and the three before it (45 to 60 minutes),
    // and over the current six hours and the three spans before (18 to 24 hours).
    Spread lastHourSpread(const QString& device, qint64 nowMs) const;
    Spread lastDaySpread(const QString& device, qint64 nowMs) const;

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
    // A span's sketch, numbered by its span since 1970 (-1: none yet).
    struct SketchSlot
    {
        qint32 span = -1;
        LatencySketch sketch;
    };
    using SketchRing = std::array<SketchSlot, 4>;
    struct Device
    {
        std::array<Bucket, 60> buckets;
        SketchRing quarters;
        SketchRing sixHours;
        qint64 lastRoundTripUs = -1;
        qint64 lastAnsweredMs = -1;
    };

    // The span's slot, emptied where it held an older span; none where it holds a later one.
    static LatencySketch* slotFor(SketchRing& ring, qint32 span);
    static Spread spreadOf(const SketchRing& ring, qint32 nowSpan);
    Spread spread(const QString& device, qint64 nowMs, SketchRing Device::*ring, qint64 spanMs) const;

    mutable QMutex m_mutex;
    SlottedHash<Device> m_devices;
};

} // namespace Tarnwick
