#pragma once

#include "data/ProbeRecord.h"

#include <QList>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class QSqlDatabase;

namespace Tarnwick {

// Every probe result of the monitor, kept in an SQLite file ("History.sqlite") in WAL mode:
// the raw results for a day, and per device a summary of every minute (sent, received, least,
// most and total round trip) for as many days as the history keeps. Results are written on a
// thread of the store's own, about once a second in one transaction; recording never waits
// for the disk, and a store that falls behind folds what it cannot keep up with into the
// minute summaries rather than growing without bound. A file that cannot be used (damaged,
// locked by another program, from a later version) is moved aside as "<name>.unreadable" and
// a new one started; monitoring never stops for it.
class HistoryStore
{
public:
    static constexpr int SchemaVersion = 1;
    // Results waiting to be written beyond which new ones are only counted in their minute.
    static constexpr int MaxWaiting = 200000;

    using Reporter = std::function<void(const QString& text)>;

    // keepDays: how long the minute summaries stay; raw results stay a day at most.
    HistoryStore(const QString& fileName, int keepDays, Reporter reporter = {});
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // From any thread; never blocks on the disk.
    void record(const ProbeRecord& result);
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

    void run();
    bool openFile(QSqlDatabase& db);
    bool openOrStartAnew(QSqlDatabase& db);
    bool write(QSqlDatabase& db, const QList<ProbeRecord>& results, const QList<Minute>& folded);
    void prune(QSqlDatabase& db, qint64 nowMs);
    void report(const QString& text);
    static void count(Minute& minute, const ProbeRecord& result);

    const QString m_fileName;
    const int m_keepDays;
    Reporter m_reporter;
    QString m_connection;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    QList<ProbeRecord> m_waiting;
    QList<Minute> m_folded;
    int m_flushRequests = 0;
    int m_flushesDone = 0;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace Tarnwick
