// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/ProbeRecord.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class QSqlDatabase;

namespace Tarnwick {

// Every probe result of the monitor, kept in an SQLite file ("History.sqlite") in WAL mode:
// the raw results for a day, and per device a summary of every minute (sent, received, least,
// most and total round trip) and its changes of state for as many days as the history keeps.
// Results are written on a thread of the store's own, about once a second in one transaction;
// recording never waits for the disk, and a store that falls behind folds what it cannot keep
// up with into the minute summaries rather than growing without bound. The file never grows
// past its size limit: the oldest raw results go first (their minutes still sum them up), then
// the oldest minutes. A file that cannot be used (damaged, locked by another program, from a
// later version) is moved aside as "<name>.unreadable" and a new one started; monitoring never
// stops for it.
class HistoryStore
{
public:
    static constexpr int SchemaVersion = 2;

    struct Limits
    {
        int keepDays = 30; // how long the minute summaries stay; raw results stay a day at most
        qint64 maxBytes = qint64(1) << 30;
        // Results waiting to be written beyond which new ones are only counted in their minute.
        int maxWaiting = 200000;
    };

    using Reporter = std::function<void(const QString& text)>;

    HistoryStore(const QString& fileName, const Limits& limits, Reporter reporter = {});
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // From any thread; never block on the disk.
    void record(const ProbeRecord& result);
    void recordStateChange(const QString& device, qint64 atMs, bool connected);
    // Writes everything waiting and returns when it is on the disk.
    void flush();

    QString fileName() const { return m_fileName; }

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
    };
    struct StateChange
    {
        QString device;
        qint64 atMs = 0;
        bool connected = false;
    };
    using MinuteKey = QPair<QString, qint64>;
    struct Batch
    {
        QList<ProbeRecord> results;
        QHash<MinuteKey, Minute> folded;
        QList<StateChange> changes;
        bool isEmpty() const { return results.isEmpty() && folded.isEmpty() && changes.isEmpty(); }
    };

    void run();
    bool openFile(QSqlDatabase& db);
    bool openOrStartAnew(QSqlDatabase& db);
    bool write(QSqlDatabase& db, const Batch& batch);
    qint64 deviceId(QSqlDatabase& db, const QString& device);
    void prune(QSqlDatabase& db, qint64 nowMs);
    // Prunes the oldest until the batch fits under the size limit.
    void keepWithinSize(QSqlDatabase& db, const Batch& incoming);
    void report(const QString& text);
    static void count(Minute& minute, const ProbeRecord& result);

    const QString m_fileName;
    const Limits m_limits;
    Reporter m_reporter;
    QString m_connection;
    QHash<QString, qint64> m_deviceIds; // the writer's own

    std::mutex m_mutex;
    std::condition_variable m_wake;
    Batch m_waiting;
    int m_flushRequests = 0;
    int m_flushesDone = 0;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace Tarnwick
