// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/CsvDocument.h"
#include "data/Settings.h"
#include "history/DeviceStatistics.h"
#include "history/HistoryReader.h"
#include "history/HistoryStore.h"

#include "../common/FilePermissionsApply.h"
#include "../common/SmallDisk.h"
#include "../common/TestFiles.h"

#include <QDateTime>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

using namespace Tarnwick;

namespace {

// Reads the file the way another program would, through a connection of its own.
class Reader
{
public:
    explicit Reader(const QString& fileName)
    {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reader"));
        m_db.setDatabaseName(fileName);
        m_db.open();
    }
    ~Reader()
    {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("reader"));
    }
    QStringList rows(const QString& statement)
    {
        QSqlQuery query(m_db);
        QStringList result;
        if (!query.exec(statement))
            return {QStringLiteral("error")};
        while (query.next()) {
            QStringList fields;
            for (int i = 0; i < query.record().count(); ++i)
                fields << query.value(i).toString();
            result << fields.join(QLatin1Char('|'));
        }
        return result;
    }
    QSqlDatabase& db() { return m_db; }

private:
    QSqlDatabase m_db;
};

// A wall clock the test sets, and a steady clock that moves only when the test says so.
struct FakeClock
{
    std::atomic<qint64> wallMs{QDateTime::currentMSecsSinceEpoch()};
    std::atomic<qint64> steadyMs{0};
    HistoryStore::Clock clock()
    {
        return {[this] { return wallMs.load(); }, [this] { return steadyMs.load(); }};
    }
    void pass(qint64 ms)
    {
        wallMs += ms;
        steadyMs += ms;
    }
};

constexpr qint64 DayMs = 24 * 3600 * 1000LL;

ProbeRecord result(const char* device, qint64 atMs, qint64 roundTripUs)
{
    return {QString::fromLatin1(device), atMs,
            roundTripUs < 0 ? ProbeResult::timeout() : ProbeResult::reply(std::chrono::microseconds(roundTripUs))};
}

} // namespace

class TestHistory : public QObject
{
    Q_OBJECT

    enum Cause { RandomBytes, LaterVersion, Locked, FullDisk, ReadOnly, ReadOnlyFile, RowRefused };

    QTemporaryDir m_dir;
    QStringList m_reports;
    std::unique_ptr<HistoryStore> m_store;

    HistoryStore* newStore(HistoryStore::Limits limits = {}, HistoryStore::Clock clock = HistoryStore::Clock::system())
    {
        return new HistoryStore(
            QStringLiteral("History.sqlite"), limits, [this](const QString& text) { m_reports << text; },
            std::move(clock));
    }

    QStringList resultRows()
    {
        return Reader(QStringLiteral("History.sqlite")).rows(QStringLiteral("SELECT rtt_us FROM results ORDER BY at"));
    }

    static QStringList bucketTexts(const QList<HistoryReader::Bucket>& buckets)
    {
        QStringList texts;
        for (const HistoryReader::Bucket& b : buckets)
            texts
                << QStringLiteral("%1|%2|%3|%4|%5").arg(b.sent).arg(b.received).arg(b.minUs).arg(b.maxUs).arg(b.sumUs);
        return texts;
    }

private slots:
    void init()
    {
        TestFiles::enterEmpty(m_dir);
        m_reports.clear();
    }

    // Every result is kept as it came, each minute of each device is summed up, and the reader
    // gives it all back by device and range, in buckets of any width.
    void resultsMinutesAndStateChanges()
    {
        // The first of two minutes that share a two-minute bucket.
        const qint64 minute = QDateTime::currentMSecsSinceEpoch() / 120000 * 120000 - 120000;
        {
            std::unique_ptr<HistoryStore> store(newStore());
            store->record(result("a", minute + 1000, 1500));
            store->record(result("a", minute + 2000, -1));
            store->record(result("a", minute + 3000, 500));
            store->record(result("b", minute + 4000, 700));
            store->record({QStringLiteral("d"), minute + 4000, {ProbeResult::Present, 0}});
            store->recordStateChange(QStringLiteral("a"), minute + 2000, false);
            store->flush();
            store->record(result("a", minute + 5000, 2500));
            store->record(result("a", minute + 61000, 800));
            store->recordStateChange(QStringLiteral("a"), minute + 61000, true);
            // A device without an address is left out, with one line, and holds up no other.
            store->record({QString(), minute + 62000, ProbeResult::timeout()});
            store->recordStateChange(QString(), minute + 62000, false);
        }
        HistoryReader reader(QStringLiteral("History.sqlite"));
        const qint64 to = minute + 120000;
        QList<ProbeRecord> raw = reader.results(QStringLiteral("a"), minute, to);
        QCOMPARE(raw.size(), 5);
        QCOMPARE(raw[1].result.kind, ProbeResult::Timeout);
        QCOMPARE(raw[4].result.roundTripUs, 800);
        QCOMPARE(reader.results(QStringLiteral("a"), minute + 2000, minute + 5000).size(), 2);
        // ARP alone answered: exported as such, not as an error.
        QCOMPARE(reader.results(QStringLiteral("d"), minute, to).value(0).result.kind, ProbeResult::Present);
        QCOMPARE(bucketTexts(reader.buckets(QStringLiteral("a"), minute, to, 1)),
                 QStringList({"4|3|500|2500|4500", "1|1|800|800|800"}));
        QCOMPARE(bucketTexts(reader.buckets(QStringLiteral("a"), minute, to, 2)), QStringList({"5|4|500|2500|5300"}));
        // The spread of the round trips adds up across writes and buckets as the sums do.
        const LatencySketch spread = reader.buckets(QStringLiteral("a"), minute, to, 2).value(0).sketch;
        QCOMPARE(spread.count(), 4u);
        QVERIFY(std::abs(spread.quantileUs(0.5).value() - 800) < 16);
        QVERIFY(std::abs(spread.quantileUs(1).value() - 2500) < 50);
        QCOMPARE(bucketTexts(reader.buckets(QStringLiteral("b"), minute, to, 1)), QStringList{"1|1|700|700|700"});
        QVERIFY(reader.buckets(QStringLiteral("c"), minute, to, 1).isEmpty());
        const QList<HistoryReader::StateChange> changes = reader.stateChanges(QStringLiteral("a"), minute, to);
        QCOMPARE(changes.size(), 2);
        QVERIFY(!changes[0].connected && changes[1].connected);
        QCOMPARE(changes[1].atMs, minute + 61000);
        Reader sql(QStringLiteral("History.sqlite"));
        QCOMPARE(sql.rows(QStringLiteral("PRAGMA journal_mode")), QStringList{"wal"});
        QCOMPARE(sql.rows(QStringLiteral("PRAGMA user_version")), QStringList{"2"});
        QCOMPARE(m_reports,
                 QStringList{"Results of a device without an address are not kept in the history "
                             "\"History.sqlite\"."});
    }

    // A device's first state in a run is a change of state only where the history last knew it
    // otherwise, or not at all; so how long it has been in its state carries on across runs.
    void firstStatesAreKeptWhereTheyAreNews()
    {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        {
            std::unique_ptr<HistoryStore> store(newStore());
            store->recordStateChange(QStringLiteral("same"), now - 5000, true);
            store->recordStateChange(QStringLiteral("other"), now - 5000, false);
            store->flush();
            store->recordFirstState(QStringLiteral("same"), now - 1000, true);
            store->recordFirstState(QStringLiteral("other"), now - 1000, true);
            store->recordFirstState(QStringLiteral("unknown"), now - 1000, false);
        }
        HistoryReader reader(QStringLiteral("History.sqlite"));
        QCOMPARE(reader.stateChanges(QStringLiteral("same"), 0, now).size(), 1);
        QCOMPARE(reader.stateChanges(QStringLiteral("other"), 0, now).size(), 2);
        QCOMPARE(reader.stateChanges(QStringLiteral("unknown"), 0, now).size(), 1);
    }

    // Every device's last state comes back from one read done a range of devices at a time,
    // and a reading given up (the program quits during start-up) stops between ranges.
    void lastStatesOfALongListAreReadInRanges()
    {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        constexpr int devices = 10050;
        {
            std::unique_ptr<HistoryStore> store(newStore());
            for (int i = 0; i < devices; ++i)
                store->recordStateChange(QStringLiteral("d%1").arg(i), now - 5000, i % 2 == 0);
            store->recordStateChange(QStringLiteral("d%1").arg(devices - 1), now - 1000, true);
        }
        HistoryReader reader(QStringLiteral("History.sqlite"));
        const QHash<QString, HistoryReader::StateChange> all = reader.lastStateChanges(now);
        QCOMPARE(all.size(), devices);
        QVERIFY(!all.value(QStringLiteral("d1")).connected);
        QCOMPARE(all.value(QStringLiteral("d%1").arg(devices - 1)).atMs, now - 1000);
        QVERIFY(all.value(QStringLiteral("d%1").arg(devices - 1)).connected);
        int asked = 0;
        const auto givenUp = reader.lastStateChanges(now, [&asked] { return ++asked > 1; });
        QVERIFY2(!givenUp.isEmpty() && givenUp.size() < devices, qPrintable(QString::number(givenUp.size())));
    }

    // Slow periods are kept beside the changes of state, also in a file made before there were
    // any; a period is closed only where one is open, and a file without them reads as none.
    void slowPeriodsAreKept()
    {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        {
            std::unique_ptr<HistoryStore> store(newStore());
            store->record(result("a", now - 9000, 900));
        }
        {
            Reader old(QStringLiteral("History.sqlite"));
            QVERIFY(QSqlQuery(old.db()).exec(QStringLiteral("DROP TABLE slow_changes")));
        }
        QVERIFY(HistoryReader(QStringLiteral("History.sqlite")).slowChanges(QStringLiteral("a"), 0, now).isEmpty());
        {
            std::unique_ptr<HistoryStore> store(newStore());
            store->recordSlowEnded(QStringLiteral("a"), now - 8000);
            store->recordSlowChange(QStringLiteral("a"), now - 7000, true);
            store->recordSlowChange(QStringLiteral("a"), now - 6000, false);
            store->recordSlowChange(QStringLiteral("a"), now - 5000, true);
            store->flush();
            // Ended twice, at the same time as it became slow: once.
            store->recordSlowChange(QStringLiteral("b"), now - 4000, true);
            store->recordSlowEnded(QStringLiteral("b"), now - 4000);
            store->recordSlowEnded(QStringLiteral("b"), now - 4000);
        }
        QVERIFY(m_reports.isEmpty());
        HistoryReader reader(QStringLiteral("History.sqlite"));
        QStringList periods;
        for (const char* device : {"a", "b"}) {
            for (const HistoryReader::SlowChange& c : reader.slowChanges(QString::fromLatin1(device), 0, now))
                periods << QStringLiteral("%1 %2 %3").arg(QLatin1String(device)).arg(now - c.atMs).arg(c.slow);
        }
        QCOMPARE(periods, QStringList({"a 7000 1", "a 6000 0", "a 5000 1", "b 4000 1", "b 4000 0"}));
        QCOMPARE(reader.results(QStringLiteral("a"), 0, now).size(), 1);
        QVERIFY(!reader.slowBefore(QStringLiteral("a"), now - 5000));
        QVERIFY(reader.slowBefore(QStringLiteral("a"), now - 4999));
        QVERIFY(!reader.slowBefore(QStringLiteral("b"), now));
        QVERIFY(!reader.slowBefore(QStringLiteral("unknown"), now));
    }

    // The network watch's inventory: a file from before it gains the tables as it opens, and the
    // latest of each entry, the forgotten ones gone, and the baseline's networks read back.
    void inventoryIsKept()
    {
        const QDateTime then = QDateTime::fromMSecsSinceEpoch(1'700'000'000'000, Qt::UTC);
        {
            std::unique_ptr<HistoryStore> store(newStore());
            store->record(result("a", then.toMSecsSinceEpoch(), 900));
        }
        {
            Reader old(QStringLiteral("History.sqlite"));
            QVERIFY(QSqlQuery(old.db()).exec(QStringLiteral("DROP TABLE inventory")));
            QVERIFY(QSqlQuery(old.db()).exec(QStringLiteral("DROP TABLE watched_networks")));
        }
        QVERIFY(HistoryReader(QStringLiteral("History.sqlite")).inventory().isEmpty());
        const InventoryEntry kept{
            "02:00:00:00:00:aa", {"10.0.0.2", "fe80::1%eth0"}, "printer", "Acme", then, then.addSecs(60), true, false};
        {
            std::unique_ptr<HistoryStore> store(newStore());
            InventoryEntry earlier = kept;
            earlier.addresses = {"10.0.0.9"};
            store->recordInventoryEntry(earlier);
            store->recordInventoryEntry(kept);
            store->recordInventoryEntry({"02:00:00:00:00:bb", {"10.0.0.3"}, {}, {}, then, then, false, true});
            store->recordWatchedNetworks({"10.0.0.0/24"});
            store->flush();
            store->recordInventoryForgotten(QStringLiteral("02:00:00:00:00:bb"));
            store->recordWatchedNetworks({"10.0.0.0/24", "10.0.1.0/24"});
        }
        QVERIFY(m_reports.isEmpty());
        const HistoryReader reader(QStringLiteral("History.sqlite"));
        QCOMPARE(reader.inventory(), QList<InventoryEntry>{kept});
        QCOMPARE(reader.watchedNetworks(), QStringList({"10.0.0.0/24", "10.0.1.0/24"}));
    }

    // A file of the first version (addresses in every row) is carried over as it opens.
    // A minute's sketch that a later run adds to keeps both runs' round trips; a file from before
    // sketches reads as before, and gains them as a store opens it.
    void minuteSketchesAddUpAcrossRuns()
    {
        const qint64 minute = QDateTime::currentMSecsSinceEpoch() / 60000 * 60000 - 60000;
        const auto spreadOf = [&] {
            return HistoryReader(QStringLiteral("History.sqlite"))
                .buckets(QStringLiteral("a"), minute, minute + 60000, 1)
                .value(0);
        };
        for (const qint64 roundTripUs : {1000, 1000, 3000, 3000}) {
            std::unique_ptr<HistoryStore> store(newStore());
            store->record(result("a", minute + 1000, roundTripUs));
        }
        QCOMPARE(spreadOf().sketch.count(), 4u);
        QVERIFY(std::abs(spreadOf().sketch.quantileUs(0.5).value() - 1000) < 20);
        QVERIFY(std::abs(spreadOf().sketch.quantileUs(0.75).value() - 3000) < 60);
        int spans = 0;
        HistoryReader(QStringLiteral("History.sqlite"))
            .forEachSketchSpan(minute - DayMs, [&](const QString& device, qint64 startMs, const LatencySketch& sketch) {
                ++spans;
                return device == QLatin1String("a") && startMs == minute / 21600000 * 21600000 && sketch.count() == 4;
            });
        QCOMPARE(spans, 1);

        QVERIFY(QSqlQuery(Reader(QStringLiteral("History.sqlite")).db())
                    .exec(QStringLiteral("ALTER TABLE minutes DROP COLUMN sketch")));
        QCOMPARE(spreadOf().sent, 4);
        QVERIFY(spreadOf().sketch.isEmpty());
        std::unique_ptr<HistoryStore>(newStore())->record(result("a", minute + 2000, 5000));
        QCOMPARE(spreadOf().sent, 5);
        QCOMPARE(spreadOf().sketch.count(), 1u);
        QVERIFY(m_reports.isEmpty());
    }

    // Results wait in memory and reach the file within ten seconds without a flush (sooner when
    // many wait), always in the transaction that adds them to their minutes: an image of the file
    // taken as soon as they show holds their sums too, so a crash never leaves one without the other.
    void resultsReachTheFileWithTheirMinutes_data()
    {
        QTest::addColumn<int>("mostWaiting");
        QTest::addColumn<qint64>("passMs");
        QTest::addRow("after ten seconds") << 400000 << qint64(10000);
        QTest::addRow("many waiting go at once") << 8 << qint64(0);
    }
    void resultsReachTheFileWithTheirMinutes()
    {
        QFETCH(int, mostWaiting);
        QFETCH(qint64, passMs);
        FakeClock clock;
        const qint64 minute = clock.wallMs / 60000 * 60000;
        clock.wallMs = minute + 5000;
        std::unique_ptr<HistoryStore> store(newStore({30, qint64(1) << 30, mostWaiting}, clock.clock()));
        store->flush();
        for (int i = 0; i < 4; ++i)
            store->record(result("a", minute + 1000 * i, 1000 * (i + 1)));
        clock.pass(passMs);
        // Each statement reads one state of the file, as a copy taken at a crash would hold it.
        QStringList image;
        QDeadlineTimer deadline(10000);
        do {
            image = Reader(QStringLiteral("History.sqlite"))
                        .rows(QStringLiteral(
                            "SELECT (SELECT count(*) FROM results), "
                            "(SELECT group_concat(sent || '/' || received || '/' || sum_us) FROM minutes)"));
        } while (image == QStringList{"0|"} && !deadline.hasExpired() && (QTest::qWait(10), true));
        QCOMPARE(image, QStringList{"4|4/4/10000"});
    }

    // An earlier version wrote raw results each second and added them to their minutes every ten,
    // marking in the file where the unsummed ones began: a start after such a run crashed adds
    // those from the mark on, and those before it stay counted once.
    void unsummedResultsOfAnEarlierRunAreSummed_data()
    {
        QTest::addColumn<QString>("mark");
        QTest::addColumn<QString>("minuteBefore");
        QTest::addColumn<QString>("minuteAfter");
        QTest::addRow("all unsummed") << QStringLiteral("1") << QString() << QStringLiteral("4|4|10000");
        QTest::addRow("two summed before")
            << QStringLiteral("3") << QStringLiteral("2|2|3000") << QStringLiteral("4|4|10000");
        QTest::addRow("mark no number") << QStringLiteral("'x'") << QStringLiteral("2|2|3000")
                                        << QStringLiteral("2|2|3000");
    }
    void unsummedResultsOfAnEarlierRunAreSummed()
    {
        QFETCH(QString, mark);
        QFETCH(QString, minuteBefore);
        QFETCH(QString, minuteAfter);
        const qint64 minute = QDateTime::currentMSecsSinceEpoch() / 60000 * 60000 - 60000;
        std::unique_ptr<HistoryStore>(newStore())->flush();
        {
            Reader file(QStringLiteral("History.sqlite"));
            QStringList statements{QStringLiteral("INSERT INTO devices (id, address) VALUES (7, 'a')"),
                                   QStringLiteral("INSERT INTO unsummed_results (first_rowid) VALUES (%1)").arg(mark)};
            for (int i = 0; i < 4; ++i)
                statements << QStringLiteral(
                                  "INSERT INTO results (rowid, device, at, outcome, rtt_us) VALUES (%1, 7, %2, 0, %3)")
                                  .arg(i + 1)
                                  .arg(minute + 1000 * i)
                                  .arg(1000 * (i + 1));
            if (!minuteBefore.isEmpty()) {
                const QStringList f = minuteBefore.split(QLatin1Char('|'));
                statements << QStringLiteral("INSERT INTO minutes (device, minute, sent, received, min_us, max_us, "
                                             "sum_us) VALUES (7, %1, %2, %3, 1000, 2000, %4)")
                                  .arg(minute / 60000)
                                  .arg(f[0], f[1], f[2]);
            }
            for (const QString& statement : statements)
                QVERIFY2(QSqlQuery(file.db()).exec(statement), qPrintable(statement));
        }
        std::unique_ptr<HistoryStore>(newStore())->flush();
        QCOMPARE(
            Reader(QStringLiteral("History.sqlite")).rows(QStringLiteral("SELECT sent, received, sum_us FROM minutes")),
            QStringList{minuteAfter});
        QCOMPARE(Reader(QStringLiteral("History.sqlite")).rows(QStringLiteral("SELECT count(*) FROM unsummed_results")),
                 QStringList{"0"});
    }

    void versionOneIsMigrated()
    {
        {
            Reader old(QStringLiteral("History.sqlite"));
            for (const char* statement :
                 {"CREATE TABLE results (device TEXT NOT NULL, at INTEGER NOT NULL, outcome INTEGER NOT NULL, "
                  "rtt_us INTEGER NOT NULL)",
                  "CREATE INDEX results_by_device ON results (device, at)",
                  "CREATE INDEX results_by_time ON results (at)",
                  "CREATE TABLE minutes (device TEXT NOT NULL, minute INTEGER NOT NULL, sent INTEGER NOT NULL, "
                  "received INTEGER NOT NULL, min_us INTEGER NOT NULL, max_us INTEGER NOT NULL, "
                  "sum_us INTEGER NOT NULL, PRIMARY KEY (device, minute))",
                  "PRAGMA user_version=1"})
                QVERIFY(QSqlQuery(old.db()).exec(QString::fromLatin1(statement)));
            const qint64 at = QDateTime::currentMSecsSinceEpoch() - 5000;
            QVERIFY(QSqlQuery(old.db()).exec(QStringLiteral("INSERT INTO results VALUES ('a', %1, 0, 900)").arg(at)));
            QVERIFY(QSqlQuery(old.db()).exec(
                QStringLiteral("INSERT INTO minutes VALUES ('a', %1, 3, 2, 400, 900, 1300)").arg(at / 60000)));
        }
        {
            std::unique_ptr<HistoryStore> store(newStore());
            store->record(result("a", QDateTime::currentMSecsSinceEpoch(), 100));
        }
        QVERIFY(m_reports.isEmpty());
        HistoryReader reader(QStringLiteral("History.sqlite"));
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        QCOMPARE(reader.results(QStringLiteral("a"), now - 60000, now + 1).size(), 2);
        qint64 sent = 0;
        for (const HistoryReader::Bucket& b : reader.buckets(QStringLiteral("a"), now - 120000, now, 1))
            sent += b.sent;
        QCOMPARE(sent, 4);
        QCOMPARE(Reader(QStringLiteral("History.sqlite")).rows(QStringLiteral("PRAGMA user_version")),
                 QStringList{"2"});
    }

    // Raw results go after a day, the minutes and state changes after the days kept, once the
    // clock has kept pace for a while.
    void oldResultsArePruned()
    {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        const HistoryStore::Limits threeDays{3, qint64(1) << 30, 200000};
        {
            // Kept while the store keeps 30 days.
            std::unique_ptr<HistoryStore> store(newStore());
            store->record(result("a", now - 5 * DayMs, 100));
            // Minutes enough that the file shrinks visibly once they are gone.
            for (int i = 0; i < 20000; ++i)
                store->record(result("old", now - 20 * DayMs + i * 60000LL, 100));
            store->record(result("a", now - 2 * DayMs, 200));
            store->record(result("a", now - 1000, 300));
            store->recordStateChange(QStringLiteral("a"), now - 5 * DayMs, true);
            store->recordStateChange(QStringLiteral("a"), now - 2 * DayMs, false);
            store->flush();
        }
        const qint64 grown = QFileInfo(QStringLiteral("History.sqlite")).size();
        FakeClock clock;
        {
            std::unique_ptr<HistoryStore> store(newStore(threeDays, clock.clock()));
            store->flush();
            QCOMPARE(Reader(QStringLiteral("History.sqlite")).rows(QStringLiteral("SELECT count(*) FROM minutes")),
                     QStringList{"20003"});
            clock.pass(10 * 60000);
            store->flush();
        }
        // Pruning gives the space back.
        QVERIFY2(QFileInfo(QStringLiteral("History.sqlite")).size() < grown / 4, qPrintable(QString::number(grown)));
        HistoryReader reader(QStringLiteral("History.sqlite"));
        const QList<ProbeRecord> raw = reader.results(QStringLiteral("a"), 0, now + 1);
        QCOMPARE(raw.size(), 1);
        QCOMPARE(raw.first().result.roundTripUs, 300);
        const QList<HistoryReader::Bucket> minutes = reader.buckets(QStringLiteral("a"), 0, now + 1, 1);
        QCOMPARE(minutes.size(), 2);
        QCOMPARE(minutes.first().sumUs, 200);
        QCOMPARE(reader.stateChanges(QStringLiteral("a"), 0, now).size(), 1);
    }

    // A clock set a year ahead for three seconds, then right again, costs nothing of the days
    // kept; what was recorded meanwhile, dated ahead, stays too.
    void clockJumpsLoseNothing()
    {
        FakeClock clock;
        const qint64 now = clock.wallMs;
        std::unique_ptr<HistoryStore> store(newStore({3, qint64(1) << 30, 200000}, clock.clock()));
        store->record(result("a", now - 5 * DayMs, 500)); // beyond the days kept
        store->record(result("a", now - 2 * DayMs, 200));
        store->recordStateChange(QStringLiteral("a"), now - 2 * DayMs, false);
        store->record(result("a", now - 1000, 300));
        clock.pass(10 * 60000);
        for (int second = 0; second < 3; ++second) {
            clock.wallMs = now + 365 * DayMs + second * 1000;
            clock.steadyMs += 1000;
            store->record(result("a", clock.wallMs, 900));
            store->flush();
        }
        clock.wallMs = now + 10 * 60000 + 4000;
        clock.steadyMs += 1000;
        store->flush();
        QCOMPARE(resultRows(), QStringList({"500", "200", "300", "900", "900", "900"}));
        // Once the clock has kept pace again, retention acts on the right time.
        clock.pass(10 * 60000);
        store->flush();
        QCOMPARE(resultRows(), QStringList({"300", "900", "900", "900"}));
        HistoryReader reader(QStringLiteral("History.sqlite"));
        QCOMPARE(reader.buckets(QStringLiteral("a"), now - 3 * DayMs, now, 1).size(), 2);
        QCOMPARE(reader.stateChanges(QStringLiteral("a"), now - 3 * DayMs, now).size(), 1);
    }

    // However fast results come, the file stays under its limit: the oldest raw results go
    // first, and every result still counts in its minute.
    void fileStaysWithinItsSize()
    {
        Settings settings;
        settings.historyMegabytes = 1;
        const qint64 limit = 1 << 20;
        const qint64 start = QDateTime::currentMSecsSinceEpoch() - 3600 * 1000;
        constexpr int Rounds = 40;
        constexpr int PerRound = 2000;
        qint64 largest = 0;
        {
            std::unique_ptr<HistoryStore> store(newStore(HistoryStore::Limits::fromSettings(settings)));
            // Dated a year ahead by a clock that was wrong for a moment: it must not make the
            // oldest tenth span every other result.
            store->record(result("127.0.0.1", start + 365 * DayMs, 1000));
            for (int round = 0; round < Rounds; ++round) {
                for (int i = 0; i < PerRound; ++i) {
                    const int n = round * PerRound + i;
                    store->record(result(n % 2 ? "127.0.0.1" : "127.0.0.2", start + n * 25, 1000 + n % 7));
                }
                store->flush();
                const qint64 size = QFileInfo(QStringLiteral("History.sqlite")).size();
                QVERIFY2(size <= limit, qPrintable(QString::number(size)));
                largest = std::max(largest, size);
            }
        }
        // The limit is a mebibyte, and the file does grow to most of it.
        QVERIFY2(largest > limit / 2, qPrintable(QString::number(largest)));
        HistoryReader reader(QStringLiteral("History.sqlite"));
        const QList<ProbeRecord> kept = reader.results(QStringLiteral("127.0.0.1"), 0, start + 3600 * 1000);
        QVERIFY2(kept.size() > 2 * PerRound && kept.size() < Rounds * PerRound / 2,
                 qPrintable(QString::number(kept.size())));
        QCOMPARE(kept.last().atMs, start + (Rounds * PerRound - 1) * 25);
        qint64 sent = 0;
        for (const char* device : {"127.0.0.1", "127.0.0.2"}) {
            for (const HistoryReader::Bucket& b : reader.buckets(QString::fromLatin1(device), 0, start + 3600000, 60))
                sent += b.sent;
        }
        QCOMPARE(sent, Rounds * PerRound);
    }

    // A writer that falls behind keeps what it cannot write one by one as minute summaries.
    void behindWriterFoldsIntoMinutes()
    {
        const qint64 start = QDateTime::currentMSecsSinceEpoch() - 600000;
        {
            std::unique_ptr<HistoryStore> store(newStore({30, qint64(1) << 30, 10}));
            store->flush();
            // The writer now waits a second for more: far longer than these take.
            for (int i = 0; i < 1000; ++i)
                store->record(result("a", start + i * 100, i % 10 ? 2000 : -1));
        }
        HistoryReader reader(QStringLiteral("History.sqlite"));
        QVERIFY(reader.results(QStringLiteral("a"), 0, start + 200000).size() < 1000);
        int sent = 0, received = 0;
        qint64 sumUs = 0;
        for (const HistoryReader::Bucket& b : reader.buckets(QStringLiteral("a"), start - 60000, start + 200000, 1)) {
            sent += b.sent;
            received += b.received;
            sumUs += b.sumUs;
        }
        QCOMPARE(sent, 1000);
        QCOMPARE(received, 900);
        QCOMPARE(sumUs, 900 * 2000);
        QCOMPARE(m_reports.filter(QStringLiteral("kept in their minutes' summaries only")).size(), 1);
    }

    // Only a file that is no history of ours goes aside; one that is in the way
    // for now is kept, and what came meanwhile reaches it once it can be written again.
    void openAndRetryRules_data()
    {
        QTest::addColumn<int>("cause");
        QTest::addColumn<QString>("why");
        QTest::newRow("random bytes") << int(RandomBytes) << "file is not a database";
        QTest::newRow("later version") << int(LaterVersion) << "later version";
        QTest::newRow("locked by another program") << int(Locked) << "database is locked";
        QTest::newRow("full disk") << int(FullDisk) << "disk";
        QTest::newRow("read-only") << int(ReadOnly) << "unable to open database file";
        // Made read-only before the start: SQLite's own files come into being read-only too.
        QTest::newRow("read-only file") << int(ReadOnlyFile) << "readonly database";
        // A row refused in the middle of a batch's transaction, in SQLite's words.
        QTest::newRow("row refused") << int(RowRefused) << "no results now";
    }

    void openAndRetryRules()
    {
        QFETCH(int, cause);
        QFETCH(QString, why);
        QTemporaryDir disk;
        if (cause == FullDisk || cause == ReadOnly) {
            QString whyNot;
            if (!SmallDisk::mountOver(disk.path(), 1024, &whyNot))
                QSKIP(qPrintable(whyNot));
            QVERIFY(QDir::setCurrent(disk.path()));
        }
        const auto unmount = qScopeGuard([&] {
            m_store.reset();
            QDir::setCurrent(m_dir.path());
            SmallDisk::unmount(disk.path());
        });
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        QByteArray original;
        if (cause == RandomBytes) {
            original.resize(8192);
            QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(original.data()), original.size() / 4);
            TestFiles::writeFile(QStringLiteral("History.sqlite"), original);
        } else {
            std::unique_ptr<HistoryStore> store(newStore());
            store->record(result("a", now - 2000, 100));
        }
        std::unique_ptr<Reader> holder;
        if (cause == LaterVersion)
            Reader(QStringLiteral("History.sqlite")).rows(QStringLiteral("PRAGMA user_version=99"));
        if (cause == Locked) {
            holder = std::make_unique<Reader>(QStringLiteral("History.sqlite"));
            QSqlQuery(holder->db()).exec(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE"));
            QVERIFY(QSqlQuery(holder->db()).exec(QStringLiteral("BEGIN EXCLUSIVE")));
        }
        if (cause == FullDisk)
            SmallDisk::fill(QStringLiteral("filler"));
        if (cause == RowRefused)
            Reader(QStringLiteral("History.sqlite"))
                .rows(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON results BEGIN "
                                     "SELECT RAISE(ABORT, 'no results now'); END"));
        if (cause == ReadOnly)
            QVERIFY(SmallDisk::remount(disk.path(), true));
        std::unique_ptr<FilePermissionsApply> asAUser;
        if (cause == ReadOnlyFile) {
            QVERIFY(QFile::setPermissions(QStringLiteral("History.sqlite"), QFile::ReadOwner | QFile::ReadGroup));
            asAUser = std::make_unique<FilePermissionsApply>();
            QVERIFY(asAUser->applied());
        }
        m_reports.clear();
        m_store.reset(newStore());
        HistoryStore* store = m_store.get();
        store->record(result("a", now - 1000, 200));
        store->flush();
        QCOMPARE(m_reports.size(), 1);
        QVERIFY2(m_reports.first().contains(why), qPrintable(m_reports.first()));
        if (cause == RandomBytes || cause == LaterVersion) {
            QVERIFY(m_reports.first().contains(QStringLiteral("History.sqlite.unreadable")));
            if (cause == RandomBytes)
                QCOMPARE(TestFiles::readAll(QStringLiteral("History.sqlite.unreadable")), original);
            QCOMPARE(resultRows(), QStringList{"200"});
            return;
        }
        QVERIFY2(store->recordingProblem().contains(why), qPrintable(store->recordingProblem()));
        store->record(result("a", now, 300));
        store->flush();
        holder.reset();
        if (cause == FullDisk)
            QVERIFY(QFile::remove(QStringLiteral("filler")));
        if (cause == ReadOnly)
            QVERIFY(SmallDisk::remount(disk.path(), false));
        if (cause == RowRefused)
            Reader(QStringLiteral("History.sqlite")).rows(QStringLiteral("DROP TRIGGER refuse"));
        if (cause == ReadOnlyFile)
            QVERIFY(QFile::setPermissions(QStringLiteral("History.sqlite"),
                                          QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        QTRY_VERIFY_WITH_TIMEOUT(store->recordingProblem().isEmpty(), 15000);
        store->flush();
        QCOMPARE(m_reports.size(), 2);
        QVERIFY2(m_reports.last().contains(QStringLiteral("again")), qPrintable(m_reports.last()));
        QVERIFY(!QFile::exists(QStringLiteral("History.sqlite.unreadable")));
        QCOMPARE(resultRows(), QStringList({"100", "200", "300"}));
    }

    void csvFieldsAreQuoted_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("field");
        QTest::newRow("plain") << "127.0.0.1"
                               << "127.0.0.1";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("comma") << "a,b"
                               << "\"a,b\"";
        QTest::newRow("quote") << "say \"hi\""
                               << "\"say \"\"hi\"\"\"";
        QTest::newRow("line break") << "one\ntwo"
                                    << "\"one\ntwo\"";
        QTest::newRow("carriage return") << "one\rtwo"
                                         << "\"one\rtwo\"";
        QTest::newRow("edge spaces") << " pad "
                                     << "\" pad \"";
        QTest::newRow("trailing space") << "pad "
                                        << "\"pad \"";
        QTest::newRow("formula") << "=1+1"
                                 << "'=1+1";
        QTest::newRow("plus") << "+1+1"
                              << "'+1+1";
        QTest::newRow("minus formula") << "-2+3"
                                       << "'-2+3";
        QTest::newRow("at") << "@SUM(A1)"
                            << "'@SUM(A1)";
        QTest::newRow("tab") << "\t=1"
                             << "'\t=1";
        QTest::newRow("carriage return first") << "\r=1"
                                               << "\"'\r=1\"";
        QTest::newRow("negative number") << "-12.5"
                                         << "-12.5";
        QTest::newRow("inner space") << "Printer room"
                                     << "Printer room";
    }

    void csvFieldsAreQuoted()
    {
        QFETCH(QString, text);
        QFETCH(QString, field);
        QCOMPARE(CsvDocument::field(text), field);
    }

    void csvDocumentHasHeaderAndCrlfLines()
    {
        CsvDocument csv({QStringLiteral("Address"), QStringLiteral("Description")});
        csv.addRow({QStringLiteral("127.0.0.1"), QStringLiteral("Caf\u00e9, \"upstairs\"")});
        QVERIFY(csv.save(QStringLiteral("out.csv")));
        QCOMPARE(TestFiles::readAll(QStringLiteral("out.csv")),
                 QByteArray("Address,Description\r\n127.0.0.1,\"Caf\xc3\xa9, \"\"upstairs\"\"\"\r\n"));
    }

    // "The last hour" is the current minute and the 59 before it; "5 m" the current and 4 before;
    // a result dated ahead (the clock was set back) counts in neither.
    void statisticsWindowEdges_data()
    {
        QTest::addColumn<int>("window");
        QTest::addColumn<int>("minutesAgo");
        QTest::addColumn<int>("counted");
        QTest::newRow("hour, oldest minute in") << 60 << 59 << 1;
        QTest::newRow("hour, a minute too old") << 60 << 60 << 0;
        QTest::newRow("5 m, oldest minute in") << 5 << 4 << 1;
        QTest::newRow("5 m, a minute too old") << 5 << 5 << 0;
        QTest::newRow("dated ahead") << 60 << -2 << 0;
    }

    void statisticsWindowEdges()
    {
        QFETCH(int, window);
        QFETCH(int, minutesAgo);
        QFETCH(int, counted);
        const qint64 now = 1000LL * 60000 + 30000;
        DeviceStatistics statistics;
        statistics.record(result("a", (1000 - minutesAgo) * 60000LL + 59999, 1000));
        QCOMPARE(statistics.lastMinutes(QStringLiteral("a"), now, window).sent, counted);
    }

    // The hour's spread is the current quarter of an hour and the three before; the day's the
    // current six hours and the three spans before; kept spans count with this run's.
    void spreadWindows_data()
    {
        QTest::addColumn<bool>("day");
        QTest::addColumn<int>("minutesAgo");
        QTest::addColumn<bool>("counted");
        QTest::newRow("hour, oldest quarter") << false << 52 << true;
        QTest::newRow("hour, a quarter too old") << false << 53 << false;
        QTest::newRow("day, oldest span") << true << 18 * 60 + 37 << true;
        QTest::newRow("day, a span too old") << true << 18 * 60 + 38 << false;
    }

    void spreadWindows()
    {
        QFETCH(bool, day);
        QFETCH(int, minutesAgo);
        QFETCH(bool, counted);
        // 37 minutes into six hours, and 7 into its third quarter of an hour.
        const qint64 now = 1000LL * 21600000 + 37 * 60000;
        const auto spread = [&](const DeviceStatistics& statistics) {
            return day ? statistics.lastDaySpread(QStringLiteral("a"), now)
                       : statistics.lastHourSpread(QStringLiteral("a"), now);
        };
        DeviceStatistics statistics;
        statistics.record(result("a", now - minutesAgo * 60000LL, 2000));
        statistics.record(result("a", now, 4000));
        QCOMPARE(std::round(spread(statistics).medianMs.value()), counted ? 2.0 : 4.0);

        DeviceStatistics kept;
        LatencySketch sketch;
        sketch.add(2000);
        const qint64 at = now - minutesAgo * 60000LL;
        if (day)
            kept.addKeptSixHours(QStringLiteral("a"), at / 21600000 * 21600000, sketch);
        else
            kept.addKeptMinute(QStringLiteral("a"), {at / 60000 * 60000, 1, 1, 2000, 2000, 2000, sketch});
        kept.record(result("a", now, 4000));
        QCOMPARE(std::round(spread(kept).medianMs.value()), counted ? 2.0 : 4.0);
    }

    // Loss, average and jitter over the last hour, against figures worked out by hand.
    void lastHourStatistics()
    {
        const qint64 now = 1000LL * 60000 + 30000; // half a minute into minute 1000
        DeviceStatistics statistics;
        QVERIFY(!statistics.lastHour(QStringLiteral("a"), now).lossPercent);
        statistics.record(result("a", now - 61 * 60000, 90000)); // over an hour ago
        statistics.record(result("a", now - 30 * 60000, 2000));
        statistics.record(result("a", now - 20 * 60000, -1));
        statistics.record(result("a", now - 10 * 60000, 4000));
        statistics.record(result("a", now - 1000, 3000));
        statistics.record(result("b", now, -1));
        const DeviceStatistics::Summary a = statistics.lastHour(QStringLiteral("a"), now);
        QCOMPARE(a.sent, 4);
        QCOMPARE(a.received, 3);
        QCOMPARE(*a.lossPercent, 25.0);
        QCOMPARE(*a.averageMs, 3.0);
        // A change counts in the minute of the later of its two round trips: 90000->2000,
        // 2000->4000 and 4000->3000 microseconds.
        QCOMPARE(*a.jitterMs, (88000 + 2000 + 1000) / 3.0 / 1000.0);
        QCOMPARE(*a.lastAnsweredMs, now - 1000);
        const DeviceStatistics::Summary b = statistics.lastHour(QStringLiteral("b"), now);
        QCOMPARE(*b.lossPercent, 100.0);
        QVERIFY(!b.averageMs && !b.jitterMs && !b.lastAnsweredMs);

        // Minutes kept from the previous run count with the results of this one, in their own
        // minute or one that this run shares; one from before the hour does not, nor pushes one
        // of this run's out.
        statistics.addKeptMinute(QStringLiteral("b"), {now - 5 * 60000, 4, 3, 1000, 3000, 6000});
        statistics.addKeptMinute(QStringLiteral("b"), {now, 1, 1, 4000, 4000, 4000});
        statistics.addKeptMinute(QStringLiteral("b"), {now - 70 * 60000, 9, 0, 0, 0, 0});
        // Read while this run records: an hour older than this minute, in its slot.
        statistics.addKeptMinute(QStringLiteral("b"), {now - 60 * 60000, 9, 0, 0, 0, 0});
        const DeviceStatistics::Summary kept = statistics.lastHour(QStringLiteral("b"), now);
        QCOMPARE(kept.sent, 6);
        QCOMPARE(kept.received, 4);
        QCOMPARE(*kept.averageMs, 2.5);
        QVERIFY(!kept.jitterMs);
    }
};

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"
