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

HistoryStore::HistoryStore(const QString& fileName, int keepDays, Reporter reporter)
    : m_fileName(fileName)
    , m_keepDays(std::max(1, keepDays))
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
    if (m_waiting.size() < MaxWaiting) {
        m_waiting.append(result);
        return;
    }
    // Behind: the result still counts in its minute, but is not kept one by one.
    const qint64 minute = result.atMs / MinuteMs;
    auto it = std::find_if(m_folded.begin(), m_folded.end(),
                           [&](const Minute& m) { return m.minute == minute && m.device == result.device; });
    if (it == m_folded.end())
        it = m_folded.insert(m_folded.end(), Minute{result.device, minute, 0, 0, 0, 0, 0});
    count(*it, result);
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

bool HistoryStore::openFile(QSqlDatabase& db)
{
    db.setDatabaseName(m_fileName);
    // Never wait for another program's lock: such a file is not ours to use.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
    if (!db.open())
        return false;
    QSqlQuery query(db);
    if (!exec(query, QStringLiteral("PRAGMA journal_mode=WAL")) || !query.next()
        || query.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
        return false;
    if (!exec(query, QStringLiteral("PRAGMA quick_check")) || !query.next()
        || query.value(0).toString() != QLatin1String("ok"))
        return false;
    if (!exec(query, QStringLiteral("PRAGMA user_version")) || !query.next())
        return false;
    const int version = query.value(0).toInt();
    if (version > SchemaVersion)
        return false;
    exec(query, QStringLiteral("PRAGMA synchronous=NORMAL"));
    if (version == SchemaVersion)
        return true;
    // Version 0 is a new file; later versions migrate one step at a time from here.
    return db.transaction()
        && exec(query,
                QStringLiteral("CREATE TABLE results (device TEXT NOT NULL, at INTEGER NOT NULL, "
                               "outcome INTEGER NOT NULL, rtt_us INTEGER NOT NULL)"))
        && exec(query, QStringLiteral("CREATE INDEX results_by_device ON results (device, at)"))
        && exec(query, QStringLiteral("CREATE INDEX results_by_time ON results (at)"))
        && exec(query,
                QStringLiteral("CREATE TABLE minutes (device TEXT NOT NULL, minute INTEGER NOT NULL, "
                               "sent INTEGER NOT NULL, received INTEGER NOT NULL, min_us INTEGER NOT NULL, "
                               "max_us INTEGER NOT NULL, sum_us INTEGER NOT NULL, "
                               "PRIMARY KEY (device, minute))"))
        && exec(query, QStringLiteral("PRAGMA user_version=%1").arg(SchemaVersion)) && db.commit();
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

bool HistoryStore::write(QSqlDatabase& db, const QList<ProbeRecord>& results, const QList<Minute>& folded)
{
    QHash<QPair<QString, qint64>, Minute> minutes;
    for (const Minute& m : folded)
        minutes.insert({m.device, m.minute}, m);
    for (const ProbeRecord& r : results) {
        Minute& m = minutes[{r.device, r.atMs / MinuteMs}];
        m.device = r.device;
        m.minute = r.atMs / MinuteMs;
        count(m, r);
    }
    if (!db.transaction())
        return false;
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO results (device, at, outcome, rtt_us) VALUES (?, ?, ?, ?)"));
    for (const ProbeRecord& r : results) {
        insert.addBindValue(r.device);
        insert.addBindValue(r.atMs);
        insert.addBindValue(int(r.outcome));
        insert.addBindValue(r.roundTripUs);
        if (!insert.exec()) {
            db.rollback();
            return false;
        }
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
        for (const QVariant& value : {QVariant(m.device), QVariant(m.minute), QVariant(m.sent), QVariant(m.received),
                                      QVariant(m.minUs), QVariant(m.maxUs), QVariant(m.sumUs)})
            upsert.addBindValue(value);
        if (!upsert.exec()) {
            db.rollback();
            return false;
        }
    }
    return db.commit();
}

void HistoryStore::prune(QSqlDatabase& db, qint64 nowMs)
{
    QSqlQuery query(db);
    const qint64 rawSince = nowMs - std::min<qint64>(DayMs, m_keepDays * DayMs);
    exec(query, QStringLiteral("DELETE FROM results WHERE at < %1").arg(rawSince));
    exec(query, QStringLiteral("DELETE FROM minutes WHERE minute < %1").arg((nowMs - m_keepDays * DayMs) / MinuteMs));
}

void HistoryStore::run()
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        bool usable = openOrStartAnew(db);
        qint64 lastPrune = 0;
        for (;;) {
            QList<ProbeRecord> results;
            QList<Minute> folded;
            int flushRequest = 0;
            bool stopping = false;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait_for(lock, std::chrono::seconds(1),
                                [&] { return m_stopping || m_flushRequests > m_flushesDone; });
                results.swap(m_waiting);
                folded.swap(m_folded);
                flushRequest = m_flushRequests;
                stopping = m_stopping;
            }
            if (usable && (!results.isEmpty() || !folded.isEmpty()) && !write(db, results, folded)) {
                // The file went bad under us (a full disk, another program): start anew.
                report(QStringLiteral("Results could not be written to the history \"%1\": %2")
                           .arg(m_fileName, db.lastError().text()));
                db.close();
                usable = openOrStartAnew(db) && write(db, results, folded);
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
