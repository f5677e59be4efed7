// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "LatencySketch.h"
#include "data/DevicePath.h"
#include "data/InventoryEntry.h"

#include "data/ProbeRecord.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

namespace Tarnwick {

// Reads what a HistoryStore wrote, through a read-only connection of its own on the thread that
// made it; the store may go on writing meanwhile. A missing or unusable file reads as empty.
class HistoryReader
{
public:
    // A span of consecutive minutes of one device.
    struct Bucket
    {
        qint64 startMs = 0; // UTC
        int sent = 0;
        int received = 0;
        qint64 minUs = 0; // over the replies; 0 when there was none
        qint64 maxUs = 0;
        qint64 sumUs = 0;
        // The spread of the round trips; empty in minutes kept before sketches were.
        LatencySketch sketch = {};
    };
    struct StateChange
    {
        qint64 atMs = 0;
        bool connected = false;
    };
    struct SlowChange
    {
        qint64 atMs = 0;
        bool slow = false;
    };

    explicit HistoryReader(const QString& fileName);
    ~HistoryReader();
    HistoryReader(const HistoryReader&) = delete;
    HistoryReader& operator=(const HistoryReader&) = delete;

    // The minutes from fromMs up to toMs, summed up bucketMinutes at a time; buckets without a
    // result are left out.
    QList<Bucket> buckets(const QString& device, qint64 fromMs, qint64 toMs, int bucketMinutes) const;
    // Hands every device's minutes from fromMs on to take, each with its device's address, one
    // at a time (there may be millions); take returns false to give the reading up.
    void forEachRecentMinute(qint64 fromMs, const std::function<bool(const QString&, const Bucket&)>& take) const;
    // The spans the history sums the minutes' sketches up in besides, for a start to read the
    // last day's in a few rows a device: six hours from midnight UTC.
    static constexpr qint64 SketchSpanMs = 6 * 3600 * 1000;
    // Hands every device's sketches of the spans from the one holding fromMs on to take, with
    // the device's address and the span's start (UTC); take returns false to give the reading up.
    void forEachSketchSpan(qint64 fromMs,
                           const std::function<bool(const QString&, qint64, const LatencySketch&)>& take) const;
    QList<StateChange> stateChanges(const QString& device, qint64 fromMs, qint64 toMs) const;
    // The raw results, oldest first (kept for a day at most).
    QList<ProbeRecord> results(const QString& device, qint64 fromMs, qint64 toMs) const;
    // A raw result as the results table keeps it (its outcome and round trip); an outcome out of
    // range is held to the nearest kind there is.
    static ProbeResult storedResult(int outcome, qint64 roundTripUs);
    // The device's last state change before beforeMs, where the history still holds one.
    std::optional<StateChange> lastStateChange(const QString& device, qint64 beforeMs) const;
    // The same for every device at once, by address: one read where thousands would each ask.
    // stop is asked between ranges of devices: true gives the reading up, with what was read
    // so far (the program is quitting).
    QHash<QString, StateChange> lastStateChanges(qint64 beforeMs, const std::function<bool()>& stop = {}) const;
    // When the device became slow and recovered; a file from before slow periods has none.
    QList<SlowChange> slowChanges(const QString& device, qint64 fromMs, qint64 toMs) const;
    // Whether the device was slow just before beforeMs.
    bool slowBefore(const QString& device, qint64 beforeMs) const;
    // Every device that was slow just before beforeMs, read as lastStateChanges reads.
    QSet<QString> slowDevicesBefore(qint64 beforeMs, const std::function<bool()>& stop = {}) const;
    // The network watch's inventory, and the networks whose first round was its baseline; a file
    // from before the watch has neither.
    QList<InventoryEntry> inventory() const;
    // The way to each device now, as the path watch last recorded it.
    QHash<QString, DevicePath> paths() const;
    QStringList watchedNetworks() const;

private:
    bool hasSketches() const;
    // The expression where the file's minutes have sketches, NULL where they have none.
    QString sketchColumn(const char* expression) const;
    // Each device's last row before beforeMs of a table of changes, with its on/off column as
    // the change's connected.
    QHash<QString, StateChange> lastChanges(const char* table, const char* column, qint64 beforeMs,
                                            const std::function<bool()>& stop) const;

    QString m_connection;
};

} // namespace Tarnwick
