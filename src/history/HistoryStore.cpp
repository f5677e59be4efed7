// SPDX-License-Identifier: GPL-3.0-or-later
#include "HistoryStore.h"

#include "HistoryLogging.h"

#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <atomic>
#include <chrono>

namespace Tarnwick {

namespace {

constexpr qint64 MinuteMs = 60000;
constexpr qint64 DayMs = 24 * 60 * MinuteMs;
constexpr qint64 PruneEveryMs = 60 * MinuteMs;
constexpr qsizetype FullBatch = 10000;

QString uniqueConnectionName()
{
    static std::atomic<int> stores{0};
    return QStringLiteral("tarnwick-history-%1").arg(stores++);
}

// What went wrong last on this thread, for the report.
thread_local QString t_lastProblem;

bool exec(QSqlQuery& query, const QString& statement)
{
    if (query.exec(statement))
        return true;
    t_lastProblem = query.lastError().text();
    qCWarning(lcHistory).noquote() << statement << "failed:" << t_lastProblem;
    return false;
}

} // namespace

HistoryStore::HistoryStore(const QString& fileName, const Limits& limits, Reporter reporter)
    : m_fileName(fileName)
    , m_limits{std::max(1, limits.keepDays), limits.maxBytes, std::max(1, limits.maxWaiting)}
    , m_reporter(std::move(reporter))
    , m_connection(uniqueConnectionName())
{
    m_thread = std::thread([this] { run(); });
}

HistoryStore::~HistoryStore()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void HistoryStore::count(Minute& minute, const ProbeRecord& result)
{
    ++minute.sent;
    if (result.outcome != ProbeRecord::Answered)
        return;
    minute.minUs = minute.received == 0 ? result.roundTripUs : std::min(minute.minUs, result.roundTripUs);
    minute.maxUs = std::max(minute.maxUs, result.roundTripUs);
    minute.sumUs += result.roundTripUs;
    ++minute.received;
}

void HistoryStore::record(const ProbeRecord& result)
{
    std::lock_guard lock(m_mutex);
    if (m_waiting.results.size() < m_limits.maxWaiting) {
        m_waiting.results.append(result);
        // A full batch goes at once: fast probing then means more transactions, not more memory.
        if (m_waiting.results.size() == FullBatch)
            m_wake.notify_all();
        return;
    }
    // Behind: the result still counts in its minute, but is not kept one by one.
    const MinuteKey key{result.device, result.atMs / MinuteMs};
    auto it = m_waiting.folded.find(key);
    if (it == m_waiting.folded.end())
        it = m_waiting.folded.insert(key, Minute{result.device, key.second, 0, 0, 0, 0, 0});
    count(*it, result);
}

void HistoryStore::recordStateChange(const QString& device, qint64 atMs, bool connected)
{
    std::lock_guard lock(m_mutex);
    m_waiting.changes.append({device, atMs, connected});
}

void HistoryStore::flush()
{
    std::unique_lock lock(m_mutex);
    const int request = ++m_flushRequests;
    m_wake.notify_all();
    m_wake.wait(lock, [&] { return m_flushesDone >= request; });
}

void HistoryStore::report(const QString& text)
{
    qCWarning(lcHistory).noquote() << text;
    if (m_reporter)
        m_reporter(text);
}

namespace {

bool createTables(QSqlQuery& query)
{
    return exec(query, QStringLiteral("CREATE TABLE devices (id INTEGER PRIMARY KEY, address TEXT NOT NULL UNIQUE)"))
        && exec(query,
                QStringLiteral("CREATE TABLE results (device INTEGER NOT NULL, at INTEGER NOT NULL, "
                               "outcome INTEGER NOT NULL, rtt_us INTEGER NOT NULL)"))
        && exec(query, QStringLiteral("CREATE INDEX results_by_device ON results (device, at)"))
        && exec(query, QStringLiteral("CREATE INDEX results_by_time ON results (at)"))
        && exec(query,
                QStringLiteral("CREATE TABLE minutes (device INTEGER NOT NULL, minute INTEGER NOT NULL, "
                               "sent INTEGER NOT NULL, received INTEGER NOT NULL, min_us INTEGER NOT NULL, "
                               "max_us INTEGER NOT NULL, sum_us INTEGER NOT NULL, "
                               "PRIMARY KEY (device, minute)) WITHOUT ROWID"))
        && exec(query, QStringLiteral("CREATE INDEX minutes_by_time ON minutes (minute)"))
        && exec(query,
                QStringLiteral("CREATE TABLE state_changes (device INTEGER NOT NULL, at INTEGER NOT NULL, "
                               "connected INTEGER NOT NULL)"))
        && exec(query, QStringLiteral("CREATE INDEX state_changes_by_device ON state_changes (device, at)"));
}

// Version 1 named the device by its address in every row.
bool migrateFromVersion1(QSqlQuery& query)
{
    return exec(query, QStringLiteral("DROP INDEX results_by_device"))
        && exec(query, QStringLiteral("DROP INDEX results_by_time"))
        && exec(query, QStringLiteral("ALTER TABLE results RENAME TO results_1"))
        && exec(query, QStringLiteral("ALTER TABLE minutes RENAME TO minutes_1")) && createTables(query)
        && exec(query,
                QStringLiteral("INSERT INTO devices (address) SELECT device FROM results_1 "
                               "UNION SELECT device FROM minutes_1"))
        && exec(query,
                QStringLiteral("INSERT INTO results SELECT d.id, r.at, r.outcome, r.rtt_us FROM results_1 r "
                               "JOIN devices d ON d.address = r.device"))
        && exec(query,
                QStringLiteral("INSERT INTO minutes SELECT d.id, m.minute, m.sent, m.received, m.min_us, m.max_us, "
                               "m.sum_us FROM minutes_1 m JOIN devices d ON d.address = m.device"))
        && exec(query, QStringLiteral("DROP TABLE results_1")) && exec(query, QStringLiteral("DROP TABLE minutes_1"));
}

qint64 pragmaValue(QSqlQuery& query, const char* name)
{
    return exec(query, QStringLiteral("PRAGMA %1").arg(QLatin1String(name))) && query.next()
        ? query.value(0).toLongLong()
        : 0;
}

} // namespace

bool HistoryStore::openFile(QSqlDatabase& db)
{
    m_deviceIds.clear();
    db.setDatabaseName(m_fileName);
    // Never wait for another program's lock: such a file is not ours to use.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
    if (!db.open())
        return false;
    QSqlQuery query(db);
    if (!exec(query, QStringLiteral("PRAGMA quick_check")) || !query.next()
        || query.value(0).toString() != QLatin1String("ok"))
        return false;
    if (!exec(query, QStringLiteral("PRAGMA user_version")) || !query.next())
        return false;
    const int version = query.value(0).toInt();
    if (version > SchemaVersion)
        return false;
    // Space freed by pruning goes back to the file system as each deletion commits; only a file
    // without tables can still choose this.
    if (version == 0)
        exec(query, QStringLiteral("PRAGMA auto_vacuum=FULL"));
    if (!exec(query, QStringLiteral("PRAGMA journal_mode=WAL")) || !query.next()
        || query.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
        return false;
    exec(query, QStringLiteral("PRAGMA synchronous=NORMAL"));
    exec(query, QStringLiteral("PRAGMA journal_size_limit=16777216"));
    if (version == SchemaVersion)
        return true;
    if (!db.transaction())
        return false;
    const bool migrated = version == 0 ? createTables(query) : migrateFromVersion1(query);
    if (!migrated || !exec(query, QStringLiteral("PRAGMA user_version=%1").arg(SchemaVersion)) || !db.commit()) {
        db.rollback();
        return false;
    }
    if (pragmaValue(query, "auto_vacuum") != 1) {
        exec(query, QStringLiteral("PRAGMA auto_vacuum=FULL"));
        exec(query, QStringLiteral("VACUUM"));
    }
    return true;
}

bool HistoryStore::openOrStartAnew(QSqlDatabase& db)
{
    t_lastProblem.clear();
    if (openFile(db))
        return true;
    const QString why = t_lastProblem.isEmpty() ? db.lastError().text() : t_lastProblem;
    db.close();
    QString aside = m_fileName + QStringLiteral(".unreadable");
    for (int n = 2; QFile::exists(aside); ++n)
        aside = m_fileName + QStringLiteral(".unreadable.") + QString::number(n);
    if (QFile::exists(m_fileName) && !QFile::rename(m_fileName, aside)) {
        report(QStringLiteral("The history \"%1\" cannot be used and could not be moved aside; no history is kept "
                              "in this run.")
                   .arg(m_fileName));
        return false;
    }
    for (const char* companion : {"-wal", "-shm"})
        QFile::remove(m_fileName + QLatin1String(companion));
    report(
        QStringLiteral("The history \"%1\" could not be used (%2); it was moved aside as \"%3\" and a new one "
                       "started.")
            .arg(m_fileName, why.isEmpty() ? QStringLiteral("damaged, locked or from a later version") : why, aside));
    if (openFile(db))
        return true;
    report(QStringLiteral("No history can be kept in \"%1\": %2").arg(m_fileName, db.lastError().text()));
    db.close();
    return false;
}

qint64 HistoryStore::deviceId(QSqlDatabase& db, const QString& device)
{
    const auto known = m_deviceIds.constFind(device);
    if (known != m_deviceIds.constEnd())
        return *known;
    QSqlQuery query(db);
    query.prepare(QStringLiteral("INSERT OR IGNORE INTO devices (address) VALUES (?)"));
    query.addBindValue(device);
    if (!query.exec())
        return -1;
    query.prepare(QStringLiteral("SELECT id FROM devices WHERE address = ?"));
    query.addBindValue(device);
    if (!query.exec() || !query.next())
        return -1;
    const qint64 id = query.value(0).toLongLong();
    m_deviceIds.insert(device, id);
    return id;
}

bool HistoryStore::write(QSqlDatabase& db, const Batch& batch)
{
    QHash<MinuteKey, Minute> minutes = batch.folded;
    for (const ProbeRecord& r : batch.results) {
        Minute& m = minutes[{r.device, r.atMs / MinuteMs}];
        m.device = r.device;
        m.minute = r.atMs / MinuteMs;
        count(m, r);
    }
    if (!db.transaction())
        return false;
    // Ids written inside a transaction that is rolled back would name nothing.
    const QHash<QString, qint64> knownIds = m_deviceIds;
    const auto fail = [&] {
        db.rollback();
        m_deviceIds = knownIds;
        return false;
    };
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO results (device, at, outcome, rtt_us) VALUES (?, ?, ?, ?)"));
    for (const ProbeRecord& r : batch.results) {
        const qint64 id = deviceId(db, r.device);
        insert.addBindValue(id);
        insert.addBindValue(r.atMs);
        insert.addBindValue(int(r.outcome));
        insert.addBindValue(r.roundTripUs);
        if (id < 0 || !insert.exec())
            return fail();
    }
    QSqlQuery upsert(db);
    upsert.prepare(QStringLiteral(
        "INSERT INTO minutes (device, minute, sent, received, min_us, max_us, sum_us) VALUES (?, ?, ?, ?, ?, ?, ?) "
        "ON CONFLICT (device, minute) DO UPDATE SET "
        "min_us = CASE WHEN received = 0 THEN excluded.min_us WHEN excluded.received = 0 THEN min_us "
        "ELSE min(min_us, excluded.min_us) END, "
        "max_us = max(max_us, excluded.max_us), sum_us = sum_us + excluded.sum_us, "
        "sent = sent + excluded.sent, received = received + excluded.received"));
    for (const Minute& m : std::as_const(minutes)) {
        const qint64 id = deviceId(db, m.device);
        for (const QVariant& value : {QVariant(id), QVariant(m.minute), QVariant(m.sent), QVariant(m.received),
                                      QVariant(m.minUs), QVariant(m.maxUs), QVariant(m.sumUs)})
            upsert.addBindValue(value);
        if (id < 0 || !upsert.exec())
            return fail();
    }
    QSqlQuery change(db);
    change.prepare(QStringLiteral("INSERT INTO state_changes (device, at, connected) VALUES (?, ?, ?)"));
    for (const StateChange& c : batch.changes) {
        const qint64 id = deviceId(db, c.device);
        change.addBindValue(id);
        change.addBindValue(c.atMs);
        change.addBindValue(c.connected ? 1 : 0);
        if (id < 0 || !change.exec())
            return fail();
    }
    return db.commit() || fail();
}

void HistoryStore::prune(QSqlDatabase& db, qint64 nowMs)
{
    QSqlQuery query(db);
    const qint64 keepMs = m_limits.keepDays * DayMs;
    exec(query, QStringLiteral("DELETE FROM results WHERE at < %1").arg(nowMs - std::min(DayMs, keepMs)));
    exec(query, QStringLiteral("DELETE FROM minutes WHERE minute < %1").arg((nowMs - keepMs) / MinuteMs));
    exec(query, QStringLiteral("DELETE FROM state_changes WHERE at < %1").arg(nowMs - keepMs));
}

void HistoryStore::keepWithinSize(QSqlDatabase& db, const Batch& incoming)
{
    // What the batch will take at most: a raw result with its two index entries, and a minute
    // or a state change with theirs, in pages that a scattered insert leaves half full.
    const qint64 incomingBytes = incoming.results.size() * 128
        + (incoming.folded.size() + incoming.changes.size()) * 96;
    QSqlQuery query(db);
    const auto usedBytes = [&] {
        return (pragmaValue(query, "page_count") - pragmaValue(query, "freelist_count"))
            * pragmaValue(query, "page_size")
            + incomingBytes;
    };
    if (usedBytes() <= m_limits.maxBytes / 10 * 9)
        return;
    // Down to four fifths, so that pruning runs now and then rather than before every write:
    // a tenth of the oldest span at a time, raw results before minutes.
    for (int round = 0; round < 200 && usedBytes() > m_limits.maxBytes / 10 * 8; ++round) {
        bool pruned = false;
        for (const auto& [table, column] : {std::pair{"results", "at"}, std::pair{"minutes", "minute"}}) {
            if (!exec(query, QStringLiteral("SELECT min(%2), max(%2) FROM %1").arg(table, column)) || !query.next()
                || query.isNull(0))
                continue;
            const qint64 oldest = query.value(0).toLongLong();
            const qint64 cutoff = oldest + std::max<qint64>(1, (query.value(1).toLongLong() - oldest) / 10);
            exec(query, QStringLiteral("DELETE FROM %1 WHERE %2 < %3").arg(table, column).arg(cutoff));
            if (QLatin1String(table) == QLatin1String("minutes"))
                exec(query, QStringLiteral("DELETE FROM state_changes WHERE at < %1").arg(cutoff * MinuteMs));
            pruned = true;
            break;
        }
        if (!pruned)
            break;
    }
    exec(query, QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
}

void HistoryStore::run()
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        bool usable = openOrStartAnew(db);
        qint64 lastPrune = 0;
        for (;;) {
            Batch batch;
            int flushRequest = 0;
            bool stopping = false;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait_for(lock, std::chrono::seconds(1), [&] {
                    return m_stopping || m_flushRequests > m_flushesDone || m_waiting.results.size() >= FullBatch;
                });
                std::swap(batch, m_waiting);
                flushRequest = m_flushRequests;
                stopping = m_stopping;
            }
            if (usable && !batch.isEmpty()) {
                keepWithinSize(db, batch);
                if (!write(db, batch)) {
                    // The file went bad under us (a full disk, another program): start anew.
                    report(QStringLiteral("Results could not be written to the history \"%1\": %2")
                               .arg(m_fileName, db.lastError().text()));
                    db.close();
                    usable = openOrStartAnew(db) && write(db, batch);
                }
            }
            const qint64 now = QDateTime::currentMSecsSinceEpoch();
            if (usable && now - lastPrune >= PruneEveryMs) {
                prune(db, now);
                lastPrune = now;
            }
            {
                std::lock_guard lock(m_mutex);
                m_flushesDone = flushRequest;
            }
            m_wake.notify_all();
            if (stopping)
                break;
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

} // namespace Tarnwick
