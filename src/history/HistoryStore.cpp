// SPDX-License-Identifier: GPL-3.0-or-later
#include "HistoryStore.h"

#include "HistoryLogging.h"
#include "HistoryReader.h"
#include "SketchSqlFunctions.h"
#include "SqliteStatement.h"
#include "data/PhraseBook.h"
#include "data/Settings.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <vector>

#include <sys/statvfs.h>
#include <unistd.h>

namespace Tarnwick {

namespace {

constexpr qint64 MinuteMs = 60000;
constexpr qint64 DayMs = 24 * 60 * MinuteMs;
constexpr qint64 PruneEveryMs = 60 * MinuteMs;
// Retention acts only on a wall clock that has kept pace with the steady one this long: a clock
// set a year ahead for a few seconds must not wipe the month.
constexpr qint64 SettledClockMs = 10 * MinuteMs;
constexpr qint64 ClockSlackMs = 2000;
constexpr qint64 FirstRetryMs = 1000;
constexpr qint64 LastRetryMs = 60000;
// How long a write waits for another program's lock before the results wait in memory instead.
constexpr int BusyTimeoutMs = 200;
// Free space below which a disk counts as full.
constexpr qint64 FullDiskBytes = 1 << 20;
// How long results wait in memory before they are written with their minutes' sums: each write
// dirties a page of the results' index and a minute's row for every device in it, whether it
// brings the device one result or ten. The details view is at most this much behind.
constexpr qint64 WriteResultsEveryMs = 10000;
// Sooner where this many wait (about 10 MB): 20,000 results a second are still written every ten.
constexpr qsizetype MostResultsWaiting = 200000;

QString uniqueConnectionName()
{
    static std::atomic<int> stores{0};
    return QStringLiteral("tarnwick-history-%1").arg(stores++);
}

bool writable(const QString& path)
{
    return ::access(QFile::encodeName(path).constData(), W_OK) == 0;
}

bool exec(QSqlQuery& query, const QString& statement)
{
    if (query.exec(statement))
        return true;
    qCWarning(lcHistory).noquote() << statement << "failed:" << query.lastError().text();
    return false;
}

} // namespace

HistoryStore::Limits HistoryStore::Limits::fromSettings(const Settings& settings)
{
    Limits limits;
    limits.keepDays = settings.historyDays.load();
    limits.maxBytes = qint64(std::max(1, settings.historyMegabytes.load())) << 20;
    return limits;
}

HistoryStore::Clock HistoryStore::Clock::system()
{
    return {[] { return QDateTime::currentMSecsSinceEpoch(); },
            [] {
                return qint64(std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::steady_clock::now().time_since_epoch())
                                  .count());
            }};
}

HistoryStore::HistoryStore(const QString& fileName, const Limits& limits, Reporter reporter, Clock clock)
    : m_fileName(fileName)
    , m_folder(QFileInfo(fileName).absolutePath())
    , m_limits{std::max(1, limits.keepDays), limits.maxBytes, std::max(1, limits.maxWaiting)}
    , m_reporter(std::move(reporter))
    , m_clock(std::move(clock))
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

void HistoryStore::count(Minute& minute, const Result& result)
{
    ++minute.sent;
    if (result.kind != ProbeResult::Reply)
        return;
    const qint64 roundTripUs = result.roundTripUs;
    minute.minUs = minute.received == 0 ? roundTripUs : std::min(minute.minUs, roundTripUs);
    minute.maxUs = std::max(minute.maxUs, roundTripUs);
    minute.sumUs += roundTripUs;
    minute.sketch.add(roundTripUs);
    ++minute.received;
}

void HistoryStore::Minute::add(const Minute& other)
{
    if (other.received > 0)
        minUs = received == 0 ? other.minUs : std::min(minUs, other.minUs);
    maxUs = std::max(maxUs, other.maxUs);
    sumUs += other.sumUs;
    sent += other.sent;
    received += other.received;
    sketch.merge(other.sketch);
}

void HistoryStore::fold(Minutes& minutes, const Result& result)
{
    const MinuteKey key{result.device, result.atMs / MinuteMs};
    auto it = minutes.find(key);
    if (it == minutes.end())
        it = minutes.insert(key, Minute{.device = result.device, .minute = key.second});
    count(*it, result);
}

bool HistoryStore::keeps(const QString& device)
{
    if (!device.isEmpty())
        return true;
    // Told once: such a device would fail every transaction it is part of, and with it the
    // results of all the others.
    if (!m_skippedUnaddressed.exchange(true))
        report(QStringLiteral("Results of a device without an address are not kept in the history \"%1\".")
                   .arg(m_fileName));
    return false;
}

qsizetype HistoryStore::resultsWrittenAt() const
{
    // Well before the bound past which results are folded, which a test may set low.
    return std::max<qsizetype>(1, std::min<qsizetype>(MostResultsWaiting, m_limits.maxWaiting / 2));
}

void HistoryStore::record(const ProbeRecord& record)
{
    if (!keeps(record.device))
        return;
    const Result result{record.device, record.atMs, record.result.kind, record.result.roundTripUs};
    {
        std::lock_guard lock(m_mutex);
        if (m_waiting.results.size() < m_limits.maxWaiting) {
            m_waiting.results.append(result);
            // Many waiting go at once: fast probing then means more transactions, not more memory.
            if (m_waiting.results.size() == resultsWrittenAt())
                m_wake.notify_all();
            return;
        }
        // Behind: the result still counts in its minute, but is not kept one by one.
        fold(m_waiting.folded, result);
    }
    if (!m_folding.exchange(true))
        report(QStringLiteral("More results wait for the history \"%1\" than are kept one by one (%2); until it is "
                              "written again, further results are kept in their minutes' summaries only.")
                   .arg(m_fileName)
                   .arg(m_limits.maxWaiting));
}

void HistoryStore::recordStateChange(const QString& device, qint64 atMs, bool connected)
{
    if (!keeps(device))
        return;
    std::lock_guard lock(m_mutex);
    m_waiting.changes.append({device, atMs, connected, false, ChangeOf::Connection});
}

void HistoryStore::recordFirstState(const QString& device, qint64 atMs, bool connected)
{
    if (!keeps(device))
        return;
    std::lock_guard lock(m_mutex);
    m_waiting.changes.append({device, atMs, connected, true, ChangeOf::Connection});
}

void HistoryStore::recordSlowChange(const QString& device, qint64 atMs, bool slow)
{
    if (!keeps(device))
        return;
    std::lock_guard lock(m_mutex);
    m_waiting.changes.append({device, atMs, slow, false, ChangeOf::Slowness});
}

void HistoryStore::recordSlowEnded(const QString& device, qint64 atMs)
{
    if (!keeps(device))
        return;
    std::lock_guard lock(m_mutex);
    m_waiting.changes.append({device, atMs, false, true, ChangeOf::Slowness});
}

void HistoryStore::recordInventoryEntry(const InventoryEntry& entry)
{
    std::lock_guard lock(m_mutex);
    m_waiting.inventory.insert(entry.hardwareAddress, entry);
}

void HistoryStore::recordInventoryForgotten(const QString& hardwareAddress)
{
    std::lock_guard lock(m_mutex);
    m_waiting.inventory.insert(hardwareAddress, std::nullopt);
}

void HistoryStore::recordWatchedNetworks(const QStringList& networks)
{
    std::lock_guard lock(m_mutex);
    m_waiting.watchedNetworks = networks;
}

void HistoryStore::recordPath(const QString& device, const DevicePath& path)
{
    std::lock_guard lock(m_mutex);
    m_waiting.paths.append({device, path});
}

void HistoryStore::flush()
{
    std::unique_lock lock(m_mutex);
    const int request = ++m_flushRequests;
    m_wake.notify_all();
    m_wake.wait(lock, [&] { return m_flushesDone >= request; });
}

QString HistoryStore::recordingProblem() const
{
    std::lock_guard lock(m_mutex);
    return m_problem;
}

void HistoryStore::report(const QString& text)
{
    qCWarning(lcHistory).noquote() << text;
    if (m_reporter)
        m_reporter(text);
}

namespace {

// Slow periods came after version 2 without raising it: a file without them gains the table as
// it opens, and one with them stays readable to a version that knows nothing of them.
bool createSlowTable(QSqlQuery& query)
{
    return exec(query,
                QStringLiteral("CREATE TABLE IF NOT EXISTS slow_changes (device INTEGER NOT NULL, at INTEGER NOT NULL, "
                               "slow INTEGER NOT NULL)"))
        && exec(query,
                QStringLiteral("CREATE INDEX IF NOT EXISTS slow_changes_by_device ON slow_changes (device, at)"));
}

// The network watch's inventory came later still, on the same terms.
bool createInventoryTables(QSqlQuery& query)
{
    return exec(query,
                QStringLiteral(
                    "CREATE TABLE IF NOT EXISTS inventory (hardware TEXT PRIMARY KEY, addresses TEXT NOT NULL, "
                    "name TEXT NOT NULL, vendor TEXT NOT NULL, first_seen INTEGER NOT NULL, "
                    "last_seen INTEGER NOT NULL, known INTEGER NOT NULL, many INTEGER NOT NULL)"))
        && exec(query, QStringLiteral("CREATE TABLE IF NOT EXISTS watched_networks (network TEXT PRIMARY KEY)"));
}

// And the paths: every way to a device with the time it began (hops separated by spaces, "*"
// for one that did not answer); the last of each device is its way now.
bool createPathsTable(QSqlQuery& query)
{
    return exec(query,
                QStringLiteral("CREATE TABLE IF NOT EXISTS paths (device TEXT NOT NULL, since INTEGER NOT NULL, "
                               "hops TEXT NOT NULL)"))
        && exec(query, QStringLiteral("CREATE INDEX IF NOT EXISTS paths_by_device ON paths (device, since)"));
}

// So did each minute's latency sketch (LatencySketch's bytes; NULL where nothing answered), and
// the sketches of the last spans of six hours, which a start reads instead of a day of minutes.
bool addSketches(QSqlQuery& query)
{
    if (!exec(query, QStringLiteral("SELECT count(*) FROM pragma_table_info('minutes') WHERE name = 'sketch'"))
        || !query.next())
        return false;
    const bool present = query.value(0).toInt() > 0;
    query.finish();
    return (present || exec(query, QStringLiteral("ALTER TABLE minutes ADD COLUMN sketch BLOB")))
        && exec(query,
                QStringLiteral("CREATE TABLE IF NOT EXISTS sketch_spans (device INTEGER NOT NULL, "
                               "span INTEGER NOT NULL, sketch BLOB NOT NULL, PRIMARY KEY (device, span)) "
                               "WITHOUT ROWID"));
}

// The first raw result whose minute does not count it yet (no row: every one is counted); read at
// the next start, which adds those a run that ended before its next sum left to their minutes.
bool createUnsummedTable(QSqlQuery& query)
{
    return exec(query, QStringLiteral("CREATE TABLE IF NOT EXISTS unsummed_results (first_rowid INTEGER NOT NULL)"));
}

// Adds a device's minute to its row, or makes the row.
constexpr const char* MinuteUpsert
    = "INSERT INTO minutes (device, minute, sent, received, min_us, max_us, sum_us, sketch) "
      "VALUES (?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (device, minute) DO UPDATE SET "
      "sketch = sketch_merge(sketch, excluded.sketch), "
      "min_us = CASE WHEN received = 0 THEN excluded.min_us WHEN excluded.received = 0 THEN min_us "
      "ELSE min(min_us, excluded.min_us) END, "
      "max_us = max(max_us, excluded.max_us), sum_us = sum_us + excluded.sum_us, "
      "sent = sent + excluded.sent, received = received + excluded.received";

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
        && exec(query, QStringLiteral("CREATE INDEX state_changes_by_device ON state_changes (device, at)"))
        && createSlowTable(query) && createInventoryTables(query) && createPathsTable(query) && addSketches(query)
        && createUnsummedTable(query);
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
                QStringLiteral("INSERT INTO minutes (device, minute, sent, received, min_us, max_us, sum_us) "
                               "SELECT d.id, m.minute, m.sent, m.received, m.min_us, m.max_us, "
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

HistoryStore::Problem HistoryStore::openFile(QSqlDatabase& db)
{
    m_deviceIds.clear();
    db.close();
    // SQLite makes its -wal and -shm files with the file's permissions: made while the file was
    // read-only, they stay so once it is writable again, and keep every write out until a
    // restart. They follow the file again, as SQLite would have made them.
    if (writable(m_fileName)) {
        const QFileDevice::Permissions permissions = QFile::permissions(m_fileName);
        for (const char* suffix : {"-wal", "-shm"}) {
            const QString part = m_fileName + QLatin1String(suffix);
            if (QFile::exists(part) && QFile::permissions(part) != permissions)
                QFile::setPermissions(part, permissions);
        }
    }
    db.setDatabaseName(m_fileName);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
    if (!db.open())
        return Problem::of(db.lastError());
    if (!SketchSqlFunctions::install(db))
        return {Problem::Transient,
                QStringLiteral(
                    QT_TRANSLATE_NOOP("Phrases", "SQLite does not take the functions that add latency sketches"))};
    QSqlQuery query(db);
    const auto failed = [&] { return Problem::of(query.lastError()); };
    // Read through once a run: a file that was sound when it was last opened is still ours.
    if (!m_checked) {
        if (!exec(query, QStringLiteral("PRAGMA quick_check")) || !query.next())
            return failed();
        if (query.value(0).toString() != QLatin1String("ok"))
            return {Problem::NotOurs, PhraseBook::english(PhraseBook::HistoryDamaged, {query.value(0).toString()})};
    }
    if (!exec(query, QStringLiteral("PRAGMA user_version")) || !query.next())
        return failed();
    const int version = query.value(0).toInt();
    if (version > SchemaVersion)
        return {Problem::NotOurs,
                QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "written by a later version of Tarnwick"))};
    // Space freed by pruning goes back to the file system as each deletion commits; only a file
    // without tables can still choose this.
    if (version == 0)
        exec(query, QStringLiteral("PRAGMA auto_vacuum=FULL"));
    if (!exec(query, QStringLiteral("PRAGMA journal_mode=WAL")) || !query.next())
        return failed();
    const bool wal = query.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0;
    query.finish();
    // Taking the write lock and changing a page, undone at once, tells a file that cannot be
    // written now (read-only, a lock another program holds) in SQLite's own words, before any
    // result is handed to it.
    if (!exec(query, QStringLiteral("BEGIN IMMEDIATE")))
        return failed();
    if (!exec(query, QStringLiteral("PRAGMA user_version=%1").arg(version))) {
        const Problem problem = failed();
        exec(query, QStringLiteral("ROLLBACK"));
        return problem;
    }
    exec(query, QStringLiteral("ROLLBACK"));
    if (!wal)
        return {Problem::Transient, QStringLiteral("the file cannot be switched to write-ahead logging")};
    exec(query, QStringLiteral("PRAGMA synchronous=NORMAL"));
    exec(query, QStringLiteral("PRAGMA journal_size_limit=16777216"));
    m_checked = true;
    if (version == SchemaVersion) {
        if (!createSlowTable(query) || !createInventoryTables(query) || !createPathsTable(query) || !addSketches(query)
            || !createUnsummedTable(query))
            return failed();
        // Every known device's number in one read: asked one at a time, the first results of a
        // long list cost two statements each, and a quit waits for the batch that holds them.
        if (exec(query, QStringLiteral("SELECT id, address FROM devices"))) {
            while (query.next())
                m_deviceIds.insert(query.value(1).toString(), query.value(0).toLongLong());
        }
        return sumResultsLeftUnsummed(db);
    }
    if (!db.transaction())
        return Problem::of(db.lastError());
    const bool migrated = version == 0 ? createTables(query) : migrateFromVersion1(query);
    if (!migrated || !exec(query, QStringLiteral("PRAGMA user_version=%1").arg(SchemaVersion))) {
        const Problem problem = failed();
        db.rollback();
        return problem;
    }
    if (!db.commit()) {
        const Problem problem = Problem::of(db.lastError());
        db.rollback();
        return problem;
    }
    if (pragmaValue(query, "auto_vacuum") != 1) {
        exec(query, QStringLiteral("PRAGMA auto_vacuum=FULL"));
        exec(query, QStringLiteral("VACUUM"));
    }
    return {};
}

HistoryStore::Problem HistoryStore::sumResultsLeftUnsummed(QSqlDatabase& db)
{
    QSqlQuery query(db);
    if (!exec(query,
              QStringLiteral("SELECT min(CASE WHEN typeof(first_rowid) = 'integer' THEN first_rowid END), count(*) "
                             "FROM unsummed_results"))
        || !query.next())
        return Problem::of(query.lastError());
    if (query.value(1).toLongLong() == 0)
        return {};
    const QVariant firstRowId = query.value(0);
    if (!db.transaction())
        return Problem::of(db.lastError());
    const auto fail = [&](const QSqlError& error) {
        const Problem problem = Problem::of(error);
        db.rollback();
        return problem;
    };
    // Raw rows are numbered as they are written, so those from the first unsummed one on are
    // exactly what the last run's sums held; a row that is no number tells nothing.
    QHash<QPair<qint64, qint64>, Minute> minutes;
    if (!firstRowId.isNull()) {
        if (!exec(query,
                  QStringLiteral("SELECT device, at, outcome, rtt_us FROM results WHERE rowid >= %1")
                      .arg(firstRowId.toLongLong())))
            return fail(query.lastError());
        while (query.next()) {
            const qint64 at = query.value(1).toLongLong();
            const QPair<qint64, qint64> key{query.value(0).toLongLong(), at / MinuteMs};
            auto it = minutes.find(key);
            if (it == minutes.end())
                it = minutes.insert(key, Minute{.device = {}, .minute = key.second});
            const ProbeResult stored = HistoryReader::storedResult(query.value(2).toInt(), query.value(3).toLongLong());
            count(*it, {{}, at, stored.kind, stored.roundTripUs});
        }
    }
    SqliteStatement upsert(db, MinuteUpsert);
    MinuteSpans spans;
    for (auto it = minutes.cbegin(); it != minutes.cend(); ++it) {
        if (!writeMinute(upsert, spans, it.key().first, it.value()))
            return fail(upsert.lastError());
    }
    QSqlError error;
    if (!writeSpans(db, spans, error))
        return fail(error);
    if (!exec(query, QStringLiteral("DELETE FROM unsummed_results")))
        return fail(query.lastError());
    if (!db.commit())
        return fail(db.lastError());
    if (!minutes.isEmpty())
        qCInfo(lcHistory).noquote() << "The last run ended before adding the results of" << minutes.size()
                                    << "minutes to their summaries; they were added from the results";
    return {};
}

HistoryStore::Problem HistoryStore::moveAside(const QString& why)
{
    QString aside;
    if (const Problem problem = Problem::moveAside(m_fileName, why, aside); problem.kind != Problem::None)
        return problem;
    report(QStringLiteral("The history \"%1\" could not be used (%2); it was moved aside as \"%3\" and a new one "
                          "started.")
               .arg(m_fileName, why, aside));
    m_checked = false;
    return {};
}

HistoryStore::Problem HistoryStore::startAnew(QSqlDatabase& db, const QString& why)
{
    db.close();
    Problem problem = moveAside(why);
    if (problem.kind == Problem::None)
        problem = openFile(db);
    // Whatever a new file meets is the disk's doing, not the file's.
    if (problem.kind == Problem::NotOurs)
        problem.kind = Problem::Transient;
    return problem;
}

HistoryStore::Problem HistoryStore::open(QSqlDatabase& db)
{
    const Problem problem = openFile(db);
    return problem.kind == Problem::NotOurs ? startAnew(db, problem.why) : problem;
}

qint64 HistoryStore::deviceId(QSqlDatabase& db, const QString& device, QSqlError& error)
{
    const auto known = m_deviceIds.constFind(device);
    if (known != m_deviceIds.constEnd())
        return *known;
    QSqlQuery query(db);
    query.prepare(QStringLiteral("INSERT OR IGNORE INTO devices (address) VALUES (?)"));
    query.addBindValue(device);
    if (query.exec()) {
        query.prepare(QStringLiteral("SELECT id FROM devices WHERE address = ?"));
        query.addBindValue(device);
        if (query.exec() && query.next()) {
            const qint64 id = query.value(0).toLongLong();
            m_deviceIds.insert(device, id);
            return id;
        }
    }
    error = query.lastError();
    return -1;
}

HistoryStore::Problem HistoryStore::write(QSqlDatabase& db, const Batch& batch, const Minutes& minutes)
{
    if (!db.transaction())
        return Problem::of(db.lastError());
    // Ids written inside a transaction that is rolled back would name nothing.
    const QHash<QString, qint64> knownIds = m_deviceIds;
    // The error is read before the rollback, which would put its own in its place.
    const auto fail = [&](const QSqlError& error) {
        const Problem problem = Problem::of(error);
        db.rollback();
        m_deviceIds = knownIds;
        return problem;
    };
    QSqlError error;
    SqliteStatement insert(db, "INSERT INTO results (device, at, outcome, rtt_us) VALUES (?, ?, ?, ?)");
    // In the order of the results' index, each device's in the order they came: a device's results
    // then go into its index page one after another rather than each after all other devices'.
    std::vector<std::pair<qint64, const Result*>> rows;
    rows.reserve(std::size_t(batch.results.size()));
    for (const Result& r : batch.results) {
        const qint64 id = deviceId(db, r.device, error);
        if (id < 0)
            return fail(error);
        rows.emplace_back(id, &r);
    }
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [id, r] : rows) {
        if (!insert.run({id, r->atMs, qint64(r->kind), r->roundTripUs}))
            return fail(insert.lastError());
    }
    SqliteStatement upsert(db, MinuteUpsert);
    MinuteSpans spans;
    for (const Minute& m : minutes) {
        const qint64 id = deviceId(db, m.device, error);
        if (id < 0)
            return fail(error);
        if (!writeMinute(upsert, spans, id, m))
            return fail(upsert.lastError());
    }
    if (!writeSpans(db, spans, error))
        return fail(error);
    // Per kind of change: its insert, and the last known value (of two at the same time, the later
    // one written).
    struct ChangeQueries
    {
        QSqlQuery insert;
        QSqlQuery lastKnown;
    };
    ChangeQueries connection{QSqlQuery(db), QSqlQuery(db)};
    connection.insert.prepare(QStringLiteral("INSERT INTO state_changes (device, at, connected) VALUES (?, ?, ?)"));
    connection.lastKnown.prepare(QStringLiteral(
        "SELECT connected FROM state_changes WHERE device = ? AND at <= ? ORDER BY at DESC, rowid DESC LIMIT 1"));
    ChangeQueries slowness{QSqlQuery(db), QSqlQuery(db)};
    slowness.insert.prepare(QStringLiteral("INSERT INTO slow_changes (device, at, slow) VALUES (?, ?, ?)"));
    slowness.lastKnown.prepare(QStringLiteral(
        "SELECT slow FROM slow_changes WHERE device = ? AND at <= ? ORDER BY at DESC, rowid DESC LIMIT 1"));
    for (const StateChange& c : batch.changes) {
        const qint64 id = deviceId(db, c.device, error);
        if (id < 0)
            return fail(error);
        ChangeQueries& queries = c.of == ChangeOf::Connection ? connection : slowness;
        if (c.onlyIfNew) {
            queries.lastKnown.addBindValue(id);
            queries.lastKnown.addBindValue(c.atMs);
            if (!queries.lastKnown.exec())
                return fail(queries.lastKnown.lastError());
            // A device never known slow is not slow; its connection is not known at all.
            const bool known = queries.lastKnown.next() ? (queries.lastKnown.value(0).toInt() != 0) == c.on
                                                        : c.of == ChangeOf::Slowness && !c.on;
            queries.lastKnown.finish();
            if (known)
                continue;
        }
        queries.insert.addBindValue(id);
        queries.insert.addBindValue(c.atMs);
        queries.insert.addBindValue(c.on ? 1 : 0);
        if (!queries.insert.exec())
            return fail(queries.insert.lastError());
    }
    if (!writeInventory(db, batch, error) || !writePaths(db, batch, error))
        return fail(error);
    if (!db.commit())
        return fail(db.lastError());
    return {};
}

bool HistoryStore::writeMinute(SqliteStatement& statement, MinuteSpans& spans, qint64 id, const Minute& m)
{
    if (!statement.run({id, m.minute, m.sent, m.received, m.minUs, m.maxUs, m.sumUs,
                        m.sketch.isEmpty() ? QByteArray() : m.sketch.toBytes()}))
        return false;
    if (!m.sketch.isEmpty())
        spans[{id, m.minute * MinuteMs / HistoryReader::SketchSpanMs}].merge(m.sketch);
    return true;
}

bool HistoryStore::writeSpans(QSqlDatabase& db, const MinuteSpans& spans, QSqlError& error)
{
    SqliteStatement upsert(db,
                           "INSERT INTO sketch_spans (device, span, sketch) VALUES (?, ?, ?) "
                           "ON CONFLICT (device, span) DO UPDATE SET "
                           "sketch = sketch_merge(sketch, excluded.sketch)");
    for (auto span = spans.cbegin(); span != spans.cend(); ++span) {
        if (!upsert.run({span.key().first, span.key().second, span.value().toBytes()})) {
            error = upsert.lastError();
            return false;
        }
    }
    return true;
}

bool HistoryStore::writePaths(QSqlDatabase& db, const Batch& batch, QSqlError& error)
{
    if (batch.paths.isEmpty())
        return true;
    QSqlQuery insert(db);
    if (!insert.prepare(QStringLiteral("INSERT INTO paths (device, since, hops) VALUES (?, ?, ?)"))) {
        error = insert.lastError();
        return false;
    }
    for (const auto& [device, path] : batch.paths) {
        QStringList hops;
        for (const QString& router : path.routers)
            hops << (router.isEmpty() ? QStringLiteral("*") : router);
        insert.addBindValue(device);
        insert.addBindValue(path.sinceMs);
        // A device reached directly has no hops: an empty text, never NULL.
        insert.addBindValue(hops.isEmpty() ? QStringLiteral("") : hops.join(QLatin1Char(' ')));
        if (!insert.exec()) {
            error = insert.lastError();
            return false;
        }
    }
    return true;
}

bool HistoryStore::writeInventory(QSqlDatabase& db, const Batch& batch, QSqlError& error)
{
    QSqlQuery upsert(db);
    QSqlQuery remove(db);
    if (!batch.inventory.isEmpty()
        && (!upsert.prepare(QStringLiteral("INSERT OR REPLACE INTO inventory (hardware, addresses, name, vendor, "
                                           "first_seen, last_seen, known, many) VALUES (?, COALESCE(?, ''), "
                                           "COALESCE(?, ''), COALESCE(?, ''), ?, ?, ?, ?)"))
            || !remove.prepare(QStringLiteral("DELETE FROM inventory WHERE hardware = ?")))) {
        error = upsert.lastError().isValid() ? upsert.lastError() : remove.lastError();
        return false;
    }
    for (auto it = batch.inventory.cbegin(); it != batch.inventory.cend(); ++it) {
        QSqlQuery& query = it->has_value() ? upsert : remove;
        query.addBindValue(it.key());
        if (const std::optional<InventoryEntry>& entry = *it) {
            for (const QVariant& value :
                 {QVariant(entry->addresses.join(QLatin1Char(' '))), QVariant(entry->name), QVariant(entry->vendor),
                  QVariant(entry->firstSeen.toMSecsSinceEpoch()), QVariant(entry->lastSeen.toMSecsSinceEpoch()),
                  QVariant(entry->markedKnown ? 1 : 0), QVariant(entry->answersForMany ? 1 : 0)})
                query.addBindValue(value);
        }
        if (!query.exec()) {
            error = query.lastError();
            return false;
        }
    }
    if (!batch.watchedNetworks)
        return true;
    QSqlQuery networks(db);
    if (!networks.exec(QStringLiteral("DELETE FROM watched_networks"))
        || !networks.prepare(QStringLiteral("INSERT OR IGNORE INTO watched_networks (network) VALUES (?)"))) {
        error = networks.lastError();
        return false;
    }
    for (const QString& network : std::as_const(*batch.watchedNetworks)) {
        networks.addBindValue(network);
        if (!networks.exec()) {
            error = networks.lastError();
            return false;
        }
    }
    return true;
}

void HistoryStore::writeOrKeep(QSqlDatabase& db, Batch& batch)
{
    if (m_usable) {
        // Added to the minutes: those folded while the writer was behind, and the batch's results.
        Minutes minutes = batch.folded;
        for (const Result& r : std::as_const(batch.results))
            fold(minutes, r);
        keepWithinSize(db, batch, minutes.size());
        Problem problem = write(db, batch, minutes);
        if (problem.kind == Problem::NotOurs) {
            // The file went bad under us: it goes aside, and a new one takes the results.
            problem = startAnew(db, problem.why);
            if (problem.kind == Problem::None)
                problem = write(db, batch, minutes);
        }
        if (problem.kind == Problem::None) {
            writtenAgain();
            return;
        }
        stopRecording(db, problem);
    }
    keepWaiting(batch);
}

void HistoryStore::writtenAgain()
{
    m_retryDelayMs = 0;
    QString was;
    {
        std::lock_guard lock(m_mutex);
        std::swap(was, m_problem);
    }
    if (was.isEmpty())
        return;
    // Folding is told again for the next time the file cannot be written, not each time a writer
    // that keeps falling behind catches up.
    m_folding = false;
    report(QStringLiteral("Results are written to the history \"%1\" again.").arg(m_fileName));
}

bool HistoryStore::looksWritable(QSqlDatabase& db)
{
    struct statvfs disk = {};
    if (::statvfs(QFile::encodeName(m_folder).constData(), &disk) != 0 || (disk.f_flag & ST_RDONLY) != 0
        || qint64(disk.f_bavail) * qint64(disk.f_frsize) < FullDiskBytes)
        return false;
    if (!writable(m_folder) || (QFile::exists(m_fileName) && !writable(m_fileName)))
        return false;
    if (!db.isOpen())
        return true;
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return false;
    query.exec(QStringLiteral("ROLLBACK"));
    return true;
}

void HistoryStore::stopRecording(QSqlDatabase& db, const Problem& problem)
{
    // A connection that waits for another program's lock can tell when it is released; any other
    // is opened anew, as what was in the way (a read-only file, say) stays with the connection.
    if (!problem.lockedOut)
        db.close();
    // SQLite says "readonly database" for a folder it cannot make its journal in, too.
    const QString why = writable(m_folder)
        ? problem.why
        : PhraseBook::english(PhraseBook::FolderNotWritable, {problem.why, m_folder});
    m_usable = false;
    m_retryDelayMs = m_retryDelayMs == 0 ? FirstRetryMs : std::min(2 * m_retryDelayMs, LastRetryMs);
    m_retryAtSteadyMs = m_clock.steadyMs() + m_retryDelayMs;
    m_watchForCause = !looksWritable(db);
    bool first = false;
    {
        std::lock_guard lock(m_mutex);
        first = m_problem.isEmpty();
        m_problem = why;
    }
    if (first)
        report(QStringLiteral("Results cannot be written to the history \"%1\" for now (%2); they are kept and "
                              "written once it can be written again.")
                   .arg(m_fileName, why));
}

void HistoryStore::keepWaiting(Batch& batch)
{
    std::lock_guard lock(m_mutex);
    // What came meanwhile goes after the batch; beyond the bound, results count in their minute.
    for (const Result& r : std::as_const(m_waiting.results)) {
        if (batch.results.size() < m_limits.maxWaiting)
            batch.results.append(r);
        else
            fold(batch.folded, r);
    }
    for (const Minute& m : std::as_const(m_waiting.folded)) {
        const MinuteKey key{m.device, m.minute};
        auto it = batch.folded.find(key);
        if (it == batch.folded.end())
            batch.folded.insert(key, m);
        else
            it->add(m);
    }
    batch.changes += m_waiting.changes;
    for (auto it = m_waiting.inventory.cbegin(); it != m_waiting.inventory.cend(); ++it)
        batch.inventory.insert(it.key(), *it);
    if (m_waiting.watchedNetworks)
        batch.watchedNetworks = m_waiting.watchedNetworks;
    batch.paths += m_waiting.paths;
    m_waiting = std::move(batch);
}

void HistoryStore::prune(QSqlDatabase& db, qint64 nowMs)
{
    QSqlQuery query(db);
    const qint64 keepMs = m_limits.keepDays * DayMs;
    exec(query, QStringLiteral("DELETE FROM results WHERE at < %1").arg(nowMs - std::min(DayMs, keepMs)));
    exec(query, QStringLiteral("DELETE FROM minutes WHERE minute < %1").arg((nowMs - keepMs) / MinuteMs));
    exec(query, QStringLiteral("DELETE FROM state_changes WHERE at < %1").arg(nowMs - keepMs));
    exec(query, QStringLiteral("DELETE FROM slow_changes WHERE at < %1").arg(nowMs - keepMs));
    // A way that is still the device's way now stays, however old.
    exec(query,
         QStringLiteral("DELETE FROM paths WHERE since < %1 AND rowid NOT IN "
                        "(SELECT max(rowid) FROM paths GROUP BY device)")
             .arg(nowMs - keepMs));
    // A start reads the spans of the last day alone.
    exec(query,
         QStringLiteral("DELETE FROM sketch_spans WHERE span < %1").arg(nowMs / HistoryReader::SketchSpanMs - 5));
}

void HistoryStore::keepWithinSize(QSqlDatabase& db, const Batch& incoming, qsizetype minutes)
{
    // What the batch will take at most: a raw result with its two index entries, and a minute
    // or a state change with theirs, in pages that a scattered insert leaves half full.
    const qint64 incomingBytes = incoming.results.size() * 128 + (minutes + incoming.changes.size()) * 96;
    QSqlQuery query(db);
    const auto usedBytes = [&] {
        return (pragmaValue(query, "page_count") - pragmaValue(query, "freelist_count"))
            * pragmaValue(query, "page_size")
            + incomingBytes;
    };
    if (usedBytes() <= m_limits.maxBytes / 10 * 9)
        return;
    // Down to four fifths, so that pruning runs now and then rather than before every write:
    // the oldest tenth of the rows at a time, raw results before minutes. Counting rows rather
    // than measuring a span of time keeps a row dated ahead by a wrong clock from taking all
    // the others with it: it sorts last and goes last.
    for (int round = 0; round < 200 && usedBytes() > m_limits.maxBytes / 10 * 8; ++round) {
        bool pruned = false;
        for (const auto& [table, column] : {std::pair{"results", "at"}, std::pair{"minutes", "minute"}}) {
            if (!exec(query, QStringLiteral("SELECT count(*) FROM %1").arg(QLatin1String(table))) || !query.next()
                || query.value(0).toLongLong() == 0)
                continue;
            const qint64 tenth = query.value(0).toLongLong() / 10;
            if (!exec(query,
                      QStringLiteral("SELECT %2 FROM %1 ORDER BY %2 LIMIT 1 OFFSET %3")
                          .arg(QLatin1String(table), QLatin1String(column))
                          .arg(tenth))
                || !query.next())
                continue;
            const qint64 last = query.value(0).toLongLong();
            exec(query,
                 QStringLiteral("DELETE FROM %1 WHERE %2 <= %3")
                     .arg(QLatin1String(table), QLatin1String(column))
                     .arg(last));
            if (QLatin1String(table) == QLatin1String("minutes")) {
                for (const char* changes : {"state_changes", "slow_changes"})
                    exec(query,
                         QStringLiteral("DELETE FROM %1 WHERE at < %2")
                             .arg(QLatin1String(changes))
                             .arg((last + 1) * MinuteMs));
            }
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
        qint64 lastWall = m_clock.wallMs();
        qint64 lastSteady = m_clock.steadyMs();
        // A clock is trusted only once it has kept pace for a while, from the start on too: a
        // machine may boot with its clock set wrong.
        qint64 clockSettledAt = lastSteady;
        qint64 lastPrune = lastSteady - PruneEveryMs;
        for (;;) {
            Batch batch;
            int flushRequest = 0;
            int flushesDone = 0;
            bool stopping = false;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait_for(lock, std::chrono::seconds(1), [&] {
                    return m_stopping || m_flushRequests > m_flushesDone
                        || (m_usable && m_waiting.results.size() >= resultsWrittenAt());
                });
                flushRequest = m_flushRequests;
                flushesDone = m_flushesDone;
                stopping = m_stopping;
                // The results wait for their time, unless the end or a flush asks for all.
                const qint64 now = m_clock.steadyMs();
                const bool resultsDue = stopping || flushRequest > flushesDone
                    || now - m_resultsWrittenAtSteadyMs >= WriteResultsEveryMs
                    || m_waiting.results.size() >= resultsWrittenAt();
                std::swap(batch, m_waiting);
                if (resultsDue) {
                    m_resultsWrittenAtSteadyMs = now;
                    // Room for as many as came the last time, so that the list is not copied
                    // over and over as it grows.
                    m_waiting.results.reserve(batch.results.size());
                } else {
                    std::swap(batch.results, m_waiting.results);
                }
            }
            const qint64 wall = m_clock.wallMs();
            const qint64 steady = m_clock.steadyMs();
            if (std::llabs((wall - lastWall) - (steady - lastSteady)) > ClockSlackMs)
                clockSettledAt = steady;
            lastWall = wall;
            lastSteady = steady;
            // Tried again on a back-off, or at once when what was seen in the way has gone; at
            // the end only for something to write (a quit during start-up opens nothing).
            const bool tryNow = stopping ? !batch.isEmpty()
                                         : steady >= m_retryAtSteadyMs || (m_watchForCause && looksWritable(db));
            if (!m_usable && tryNow) {
                const Problem problem = open(db);
                // Written again, and the back-off over, once a write works: a file that opens
                // but fails every write would otherwise be opened anew each second.
                if (problem.kind == Problem::None)
                    m_usable = true;
                else
                    stopRecording(db, problem);
            }
            if (!batch.isEmpty())
                writeOrKeep(db, batch);
            if (m_usable && steady - clockSettledAt >= SettledClockMs && steady - lastPrune >= PruneEveryMs) {
                prune(db, wall);
                lastPrune = steady;
            }
            {
                std::lock_guard lock(m_mutex);
                m_flushesDone = flushRequest;
            }
            m_wake.notify_all();
            if (stopping) {
                qsizetype lost = 0;
                {
                    std::lock_guard lock(m_mutex);
                    // A folded minute stands for as many results as it counts.
                    lost = m_waiting.results.size() + m_waiting.changes.size();
                    for (const Minute& m : std::as_const(m_waiting.folded))
                        lost += m.sent;
                }
                if (!m_usable && lost > 0)
                    report(QStringLiteral("%1 results could not be written to the history \"%2\" before the end.")
                               .arg(lost)
                               .arg(m_fileName));
                break;
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

} // namespace Tarnwick
