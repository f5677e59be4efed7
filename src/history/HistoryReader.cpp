// SPDX-License-Identifier: GPL-3.0-or-later
#include "HistoryReader.h"

#include "HistoryLogging.h"
#include "SketchSqlFunctions.h"

#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <atomic>

namespace Tarnwick {

namespace {

constexpr qint64 MinuteMs = 60000;
// Devices whose last change one statement finds: a few tens of milliseconds between two looks
// at whether to give a long reading up.
constexpr qint64 DevicesPerStatement = 10000;

// Prepares a statement on a file that could be opened; none (a first start) reads as empty.
bool prepare(QSqlQuery& query, const QString& statement)
{
    query.setForwardOnly(true);
    return query.driver() && query.driver()->isOpen() && query.prepare(statement);
}

// Runs a query over one device's rows; false (and nothing read) when the file has none.
bool run(QSqlQuery& query, const QString& statement, const QString& device, qint64 from, qint64 to)
{
    if (!prepare(query, statement))
        return false;
    query.addBindValue(device);
    query.addBindValue(from);
    query.addBindValue(to);
    if (query.exec())
        return true;
    qCWarning(lcHistory).noquote() << "Reading the history failed:" << query.lastError().text();
    return false;
}

} // namespace

HistoryReader::HistoryReader(const QString& fileName)
{
    static std::atomic<int> readers{0};
    m_connection = QStringLiteral("tarnwick-history-reader-%1").arg(readers++);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    // Opening read-only never creates the file.
    if (!QFile::exists(fileName))
        return;
    db.setDatabaseName(fileName);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=200"));
    if (!db.open())
        qCWarning(lcHistory).noquote() << "The history cannot be read:" << db.lastError().text();
    else if (!SketchSqlFunctions::install(db))
        qCWarning(lcHistory).noquote() << "The history's latency sketches cannot be read: SQLite refuses the functions";
}

HistoryReader::~HistoryReader()
{
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
}

bool HistoryReader::hasSketches() const
{
    // A file no program of ours has written since sketches came has minutes without them.
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    return prepare(query, QStringLiteral("SELECT count(*) FROM pragma_table_info('minutes') WHERE name = 'sketch'"))
        && query.exec() && query.next() && query.value(0).toInt() > 0;
}

QString HistoryReader::sketchColumn(const char* expression) const
{
    return hasSketches() ? QLatin1String(expression) : QStringLiteral("NULL");
}

QList<HistoryReader::Bucket> HistoryReader::buckets(const QString& device, qint64 fromMs, qint64 toMs,
                                                    int bucketMinutes) const
{
    const qint64 width = std::max(1, bucketMinutes);
    QList<Bucket> result;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!run(
            query,
            QStringLiteral("SELECT minute / %1, sum(sent), sum(received), min(CASE WHEN received > 0 THEN min_us END), "
                           "max(max_us), sum(sum_us), %2 FROM minutes "
                           "WHERE device = (SELECT id FROM devices WHERE address = ?) AND minute >= ? AND minute < ? "
                           "GROUP BY 1 ORDER BY 1")
                .arg(width)
                .arg(sketchColumn("sketch_merge(sketch)")),
            device, fromMs / MinuteMs, (toMs + MinuteMs - 1) / MinuteMs))
        return result;
    while (query.next())
        result.append({query.value(0).toLongLong() * width * MinuteMs, query.value(1).toInt(), query.value(2).toInt(),
                       query.value(3).toLongLong(), query.value(4).toLongLong(), query.value(5).toLongLong(),
                       LatencySketch::fromBytes(query.value(6).toByteArray())});
    return result;
}

void HistoryReader::forEachRecentMinute(qint64 fromMs,
                                        const std::function<bool(const QString&, const Bucket&)>& take) const
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!prepare(query,
                 QStringLiteral("SELECT d.address, m.minute, m.sent, m.received, m.min_us, m.max_us, m.sum_us, %1 "
                                "FROM minutes m JOIN devices d ON d.id = m.device WHERE m.minute >= ?")
                     .arg(sketchColumn("m.sketch"))))
        return;
    query.addBindValue(fromMs / MinuteMs);
    if (!query.exec())
        return;
    while (query.next()) {
        const Bucket minute{query.value(1).toLongLong() * MinuteMs,
                            query.value(2).toInt(),
                            query.value(3).toInt(),
                            query.value(4).toLongLong(),
                            query.value(5).toLongLong(),
                            query.value(6).toLongLong(),
                            LatencySketch::fromBytes(query.value(7).toByteArray())};
        if (!take(query.value(0).toString(), minute))
            return;
    }
}

void HistoryReader::forEachSketchSpan(
    qint64 fromMs, const std::function<bool(const QString&, qint64, const LatencySketch&)>& take) const
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    // A file without the table (none of ours has written it since sketches came) has none.
    if (!prepare(query,
                 QStringLiteral("SELECT d.address, s.span, s.sketch FROM sketch_spans s "
                                "JOIN devices d ON d.id = s.device WHERE s.span >= ?")))
        return;
    query.addBindValue(fromMs / SketchSpanMs);
    if (!query.exec())
        return;
    while (query.next()) {
        if (!take(query.value(0).toString(), query.value(1).toLongLong() * SketchSpanMs,
                  LatencySketch::fromBytes(query.value(2).toByteArray())))
            return;
    }
}

QList<HistoryReader::StateChange> HistoryReader::stateChanges(const QString& device, qint64 fromMs, qint64 toMs) const
{
    QList<StateChange> result;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!run(query,
             QStringLiteral("SELECT at, connected FROM state_changes "
                            "WHERE device = (SELECT id FROM devices WHERE address = ?) AND at >= ? AND at < ? "
                            "ORDER BY at"),
             device, fromMs, toMs))
        return result;
    while (query.next())
        result.append({query.value(0).toLongLong(), query.value(1).toInt() != 0});
    return result;
}

QList<ProbeRecord> HistoryReader::results(const QString& device, qint64 fromMs, qint64 toMs) const
{
    QList<ProbeRecord> result;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!run(query,
             QStringLiteral("SELECT at, outcome, rtt_us FROM results "
                            "WHERE device = (SELECT id FROM devices WHERE address = ?) AND at >= ? AND at < ? "
                            "ORDER BY at"),
             device, fromMs, toMs))
        return result;
    while (query.next())
        result.append(
            {device, query.value(0).toLongLong(), storedResult(query.value(1).toInt(), query.value(2).toLongLong())});
    return result;
}

ProbeResult HistoryReader::storedResult(int outcome, qint64 roundTripUs)
{
    return {ProbeResult::Kind(std::clamp(outcome, 0, int(ProbeResult::Present))), roundTripUs};
}

std::optional<HistoryReader::StateChange> HistoryReader::lastStateChange(const QString& device, qint64 beforeMs) const
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!run(query,
             QStringLiteral("SELECT at, connected FROM state_changes "
                            "WHERE device = (SELECT id FROM devices WHERE address = ?) AND at >= ? AND at < ? "
                            "ORDER BY at DESC LIMIT 1"),
             device, 0, beforeMs)
        || !query.next())
        return std::nullopt;
    return StateChange{query.value(0).toLongLong(), query.value(1).toInt() != 0};
}

QHash<QString, HistoryReader::StateChange> HistoryReader::lastStateChanges(qint64 beforeMs,
                                                                           const std::function<bool()>& stop) const
{
    return lastChanges("state_changes", "connected", beforeMs, stop);
}

QSet<QString> HistoryReader::slowDevicesBefore(qint64 beforeMs, const std::function<bool()>& stop) const
{
    QSet<QString> slow;
    const QHash<QString, StateChange> changes = lastChanges("slow_changes", "slow", beforeMs, stop);
    for (auto change = changes.cbegin(); change != changes.cend(); ++change) {
        if (change->connected)
            slow.insert(change.key());
    }
    return slow;
}

QHash<QString, HistoryReader::StateChange> HistoryReader::lastChanges(const char* table, const char* column,
                                                                      qint64 beforeMs,
                                                                      const std::function<bool()>& stop) const
{
    QHash<QString, StateChange> changes;
    QSqlQuery top(QSqlDatabase::database(m_connection, false));
    if (!prepare(top, QStringLiteral("SELECT max(id) FROM devices")) || !top.exec() || !top.next())
        return changes;
    const qint64 lastId = top.value(0).toLongLong();
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    // Of changes in the same millisecond the one written last holds. A range of devices at a
    // time: one statement over 100,000 devices would run for a quarter of a second without a
    // chance to give up.
    if (!prepare(query,
                 QStringLiteral("SELECT devices.address, last.at, last.%2 FROM "
                                "(SELECT device, at, %2, row_number() OVER "
                                "(PARTITION BY device ORDER BY at DESC, rowid DESC) AS n "
                                "FROM %1 WHERE at < ? AND device BETWEEN ? AND ?) AS last "
                                "JOIN devices ON devices.id = last.device WHERE last.n = 1")
                     .arg(QLatin1String(table), QLatin1String(column))))
        return changes;
    for (qint64 first = 0; first <= lastId && !(stop && stop()); first += DevicesPerStatement) {
        query.bindValue(0, beforeMs);
        query.bindValue(1, first);
        query.bindValue(2, first + DevicesPerStatement - 1);
        if (!query.exec()) {
            qCWarning(lcHistory).noquote() << "Reading the history failed:" << query.lastError().text();
            return changes;
        }
        while (query.next())
            changes.insert(query.value(0).toString(), {query.value(1).toLongLong(), query.value(2).toInt() != 0});
    }
    return changes;
}

QList<HistoryReader::SlowChange> HistoryReader::slowChanges(const QString& device, qint64 fromMs, qint64 toMs) const
{
    QList<SlowChange> result;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!run(query,
             QStringLiteral("SELECT at, slow FROM slow_changes "
                            "WHERE device = (SELECT id FROM devices WHERE address = ?) AND at >= ? AND at < ? "
                            "ORDER BY at, rowid"),
             device, fromMs, toMs))
        return result;
    while (query.next())
        result.append({query.value(0).toLongLong(), query.value(1).toInt() != 0});
    return result;
}

bool HistoryReader::slowBefore(const QString& device, qint64 beforeMs) const
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    return run(query,
               QStringLiteral("SELECT slow FROM slow_changes "
                              "WHERE device = (SELECT id FROM devices WHERE address = ?) AND at >= ? AND at < ? "
                              "ORDER BY at DESC, rowid DESC LIMIT 1"),
               device, 0, beforeMs)
        && query.next() && query.value(0).toInt() != 0;
}

QList<InventoryEntry> HistoryReader::inventory() const
{
    QList<InventoryEntry> entries;
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery query(db);
    // No file yet, or one without the table: an inventory without entries, not a failure to report.
    if (!db.isOpen()
        || !query.exec(QStringLiteral("SELECT hardware, addresses, name, vendor, first_seen, last_seen, known, many "
                                      "FROM inventory")))
        return entries;
    while (query.next()) {
        InventoryEntry entry;
        entry.hardwareAddress = query.value(0).toString();
        entry.addresses = query.value(1).toString().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        entry.name = query.value(2).toString();
        entry.vendor = query.value(3).toString();
        entry.firstSeen = QDateTime::fromMSecsSinceEpoch(query.value(4).toLongLong(), Qt::UTC);
        entry.lastSeen = QDateTime::fromMSecsSinceEpoch(query.value(5).toLongLong(), Qt::UTC);
        entry.markedKnown = query.value(6).toInt() != 0;
        entry.answersForMany = query.value(7).toInt() != 0;
        entries.append(entry);
    }
    return entries;
}

QHash<QString, DevicePath> HistoryReader::paths() const
{
    QHash<QString, DevicePath> paths;
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery query(db);
    // Later rows of a device replace earlier ones.
    if (!db.isOpen() || !query.exec(QStringLiteral("SELECT device, since, hops FROM paths ORDER BY rowid")))
        return paths;
    // A router is an address, IPv4 or IPv6; a row with anything else in it (a hand edit, a
    // damaged page) is no way at all, and goes nowhere near the log.
    static const QRegularExpression address(QStringLiteral("^(\\*|[0-9A-Fa-f.:]{2,45})$"));
    while (query.next()) {
        DevicePath path;
        path.sinceMs = query.value(1).toLongLong();
        const QStringList hops = query.value(2).toString().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (hops.size() > 255 || !std::all_of(hops.cbegin(), hops.cend(), [](const QString& hop) {
                return address.match(hop).hasMatch();
            }))
            continue;
        for (const QString& hop : hops)
            path.routers << (hop == QLatin1String("*") ? QString() : hop);
        paths.insert(query.value(0).toString(), path);
    }
    return paths;
}

QStringList HistoryReader::watchedNetworks() const
{
    QStringList networks;
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery query(db);
    if (!db.isOpen() || !query.exec(QStringLiteral("SELECT network FROM watched_networks ORDER BY network")))
        return networks;
    while (query.next())
        networks << query.value(0).toString();
    return networks;
}

} // namespace Tarnwick
