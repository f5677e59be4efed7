// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "LatencySketch.h"
#include "SqliteProblem.h"

#include "data/DevicePath.h"
#include "data/InventoryEntry.h"
#include "data/ProbeRecord.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

class QSqlDatabase;
class QSqlError;

namespace Tarnwick {

class Settings;
class SqliteStatement;

// Every probe result of the monitor, kept in an SQLite file ("History.sqlite") in WAL mode:
// the raw results for a day, and per device a summary of every minute (sent, received, least,
// most and total round trip, and the spread of the round trips as a LatencySketch) and its
// changes of state for as many days as the history keeps.
// Results wait in memory and are written on a thread of the store's own every ten seconds (sooner
// when many wait, and at a flush), in one transaction with the sums of their minutes: a device
// probed every second then adds ten results to its index page in one write rather than one in
// each of ten (1,000 such devices: a sixth of the bytes written), and raw rows are never in the
// file without their sums. Changes of state are written about once a second. A start sums up what a crashed
// run of an earlier version, which wrote raw rows first, left unsummed.
// Recording never waits for the disk, and a store that falls behind folds what it cannot keep
// up with into the minute summaries rather than growing without bound. The file never grows
// past its size limit: the oldest raw results go first (their minutes still sum them up), then
// the oldest minutes. Only a file that is no history of ours (not a database, damaged, from a
// later version) is moved aside as "<name>.unreadable", with its journal, and a new one started.
// A file that is merely in the way for now (locked by another program, on a full disk,
// read-only) is kept: results wait in memory, folded into minutes as they pile up, and reach the
// file once it can be written again. Monitoring never stops for any of it.
class HistoryStore
{
public:
    static constexpr int SchemaVersion = 2;

    struct Limits
    {
        int keepDays = 30; // how long the minute summaries stay; raw results stay a day at most
        qint64 maxBytes = qint64(1) << 30;
        // Results waiting to be written beyond which new ones are only counted in their minute.
        int maxWaiting = 400000;

        // "Keep history (days)" and "Largest history file (MB)", a megabyte being 2^20 bytes.
        static Limits fromSettings(const Settings& settings);
    };

    // The wall clock dates results and drives retention; the steady clock tells when the wall
    // clock jumped, so that retention never acts on a time that was set wrong for a while.
    struct Clock
    {
        std::function<qint64()> wallMs;
        std::function<qint64()> steadyMs;
        static Clock system();
    };

    using Reporter = std::function<void(const QString& text)>;

    HistoryStore(const QString& fileName, const Limits& limits, Reporter reporter = {}, Clock clock = Clock::system());
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // From any thread; never block on the disk.
    void record(const ProbeRecord& result);
    void recordStateChange(const QString& device, qint64 atMs, bool connected);
    // A device's state as its first result in this run tells it: kept as a change of state when
    // the history last knew the device otherwise, or not at all, so that how long a device has
    // been in its state carries on across runs.
    void recordFirstState(const QString& device, qint64 atMs, bool connected);
    // The device became slow, or recovered.
    void recordSlowChange(const QString& device, qint64 atMs, bool slow);
    // Whatever slow period the history holds open for the device ends here (it went down, or a
    // new run judges it afresh); nothing is kept where none is open.
    void recordSlowEnded(const QString& device, qint64 atMs);
    // The network watch's inventory: an entry as it is now, an entry forgotten, and the networks
    // whose first round has been taken as the baseline.
    void recordInventoryEntry(const InventoryEntry& entry);
    void recordInventoryForgotten(const QString& hardwareAddress);
    void recordWatchedNetworks(const QStringList& networks);
    // The way to a device as the path watch found it, since when it is that.
    void recordPath(const QString& device, const DevicePath& path);
    // Writes everything waiting and returns when it is on the disk.
    void flush();

    QString fileName() const { return m_fileName; }
    // Why results do not reach the file at the moment, in SQLite's or the system's words; empty
    // while they do. From any thread.
    QString recordingProblem() const;

private:
    struct Minute
    {
        QString device;
        qint64 minute = 0;
        int sent = 0;
        int received = 0;
        qint64 minUs = 0;
        qint64 maxUs = 0;
        qint64 sumUs = 0;
        LatencySketch sketch = {};

        void add(const Minute& other);
    };
    // A change of connection or of slowness, each kept in a table of its own.
    enum class ChangeOf { Connection, Slowness };
    struct StateChange
    {
        QString device;
        qint64 atMs = 0;
        bool on = false; // connected, or slow
        bool onlyIfNew = false; // kept only where it differs from the last known
        ChangeOf of = ChangeOf::Connection;
    };
    using MinuteKey = QPair<QString, qint64>;
    using Minutes = QHash<MinuteKey, Minute>;
    // A result as the file keeps it, small while it waits.
    struct Result
    {
        QString device;
        qint64 atMs = 0;
        ProbeResult::Kind kind = ProbeResult::Timeout;
        qint64 roundTripUs = 0;
    };
    struct Batch
    {
        QList<Result> results;
        Minutes folded;
        QList<StateChange> changes;
        // By hardware address, the latest of each; none: forgotten.
        QHash<QString, std::optional<InventoryEntry>> inventory;
        std::optional<QStringList> watchedNetworks;
        QList<QPair<QString, DevicePath>> paths;
        bool isEmpty() const
        {
            return results.isEmpty() && folded.isEmpty() && changes.isEmpty() && inventory.isEmpty() && !watchedNetworks
                && paths.isEmpty();
        }
    };

    // What stands in the way of a file, and whether waiting can help.
    using Problem = SqliteProblem;

    void run();
    Problem openFile(QSqlDatabase& db);
    Problem moveAside(const QString& why);
    // Moves the file aside and opens a new one in its place.
    Problem startAnew(QSqlDatabase& db, const QString& why);
    // Opens the file, or starts a new one in place of a file that is no history of ours.
    Problem open(QSqlDatabase& db);
    // Writes the batch, its results added to the minutes too.
    Problem write(QSqlDatabase& db, const Batch& batch, const Minutes& minutes);
    // Adds to their minutes the raw results that a crashed run of an earlier version, which wrote
    // them before their sums, left unsummed.
    Problem sumResultsLeftUnsummed(QSqlDatabase& db);
    // Each device's sketches by span of six hours, added to the span's row once a write.
    using MinuteSpans = QHash<QPair<qint64, qint64>, LatencySketch>;
    // Runs the statement for a device's minute and adds its sketch to its span.
    static bool writeMinute(SqliteStatement& statement, MinuteSpans& spans, qint64 id, const Minute& minute);
    static bool writeSpans(QSqlDatabase& db, const MinuteSpans& spans, QSqlError& error);
    static bool writeInventory(QSqlDatabase& db, const Batch& batch, QSqlError& error);
    static bool writePaths(QSqlDatabase& db, const Batch& batch, QSqlError& error);
    // Writes the batch, or keeps it waiting when the file cannot take it now.
    void writeOrKeep(QSqlDatabase& db, Batch& batch);
    void stopRecording(QSqlDatabase& db, const Problem& problem);
    // A write worked: the problem told before (if any) is over.
    void writtenAgain();
    // Whether the device's results can be kept: not those of a device without an address.
    bool keeps(const QString& device);
    // Cheap signs that the file could be written now: a folder and file that may be written, on a
    // disk that is writable and not full, with no other program holding the write lock.
    bool looksWritable(QSqlDatabase& db);
    // Puts a batch that could not be written back in front of what came since.
    void keepWaiting(Batch& batch);
    qint64 deviceId(QSqlDatabase& db, const QString& device, QSqlError& error);
    void prune(QSqlDatabase& db, qint64 nowMs);
    // Prunes the oldest until the batch, with as many minutes, fits under the size limit.
    void keepWithinSize(QSqlDatabase& db, const Batch& incoming, qsizetype minutes);
    void report(const QString& text);
    // How many results wait before they are written without waiting for their ten seconds.
    qsizetype resultsWrittenAt() const;
    static void count(Minute& minute, const Result& result);
    static void fold(Minutes& minutes, const Result& result);

    const QString m_fileName;
    const QString m_folder; // where the file and its journal are made
    const Limits m_limits;
    Reporter m_reporter;
    const Clock m_clock;
    QString m_connection;
    QHash<QString, qint64> m_deviceIds; // the writer's own
    // The writer's own: when the results waiting were last written.
    qint64 m_resultsWrittenAtSteadyMs = 0;

    // The writer's own: whether the file takes results, and when to try it again.
    bool m_usable = false;
    bool m_checked = false; // the file was read through once
    qint64 m_retryAtSteadyMs = 0;
    qint64 m_retryDelayMs = 0;
    // The cheap signs showed what was in the way, so they also show when it has gone.
    bool m_watchForCause = false;

    std::atomic<bool> m_skippedUnaddressed{false};
    // Set while results wait beyond the bound and are kept as their minutes only; told once.
    std::atomic<bool> m_folding{false};

    mutable std::mutex m_mutex;
    QString m_problem;
    std::condition_variable m_wake;
    Batch m_waiting;
    int m_flushRequests = 0;
    int m_flushesDone = 0;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace Tarnwick
