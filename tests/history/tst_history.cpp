// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/CsvDocument.h"
#include "history/DeviceStatistics.h"
#include "history/HistoryReader.h"
#include "history/HistoryStore.h"

#include "../common/TestFiles.h"

#include <QDateTime>
#include <QFileInfo>
#include <QRandomGenerator>
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

ProbeRecord result(const char* device, qint64 atMs, qint64 roundTripUs)
{
    return {QString::fromLatin1(device), atMs, roundTripUs < 0 ? ProbeRecord::NoReply : ProbeRecord::Answered,
            std::max<qint64>(0, roundTripUs)};
}

} // namespace

class TestHistory : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QStringList m_reports;

    HistoryStore* newStore(HistoryStore::Limits limits = {})
    {
        return new HistoryStore(QStringLiteral("History.sqlite"), limits,
                                [this](const QString& text) { m_reports << text; });
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
            store->recordStateChange(QStringLiteral("a"), minute + 2000, false);
            store->flush();
            store->record(result("a", minute + 5000, 2500));
            store->record(result("a", minute + 61000, 800));
            store->recordStateChange(QStringLiteral("a"), minute + 61000, true);
        }
        HistoryReader reader(QStringLiteral("History.sqlite"));
        const qint64 to = minute + 120000;
        QList<ProbeRecord> raw = reader.results(QStringLiteral("a"), minute, to);
        QCOMPARE(raw.size(), 5);
        QCOMPARE(raw[1].outcome, ProbeRecord::NoReply);
        QCOMPARE(raw[4].roundTripUs, 800);
        QCOMPARE(reader.results(QStringLiteral("a"), minute + 2000, minute + 5000).size(), 2);
        QCOMPARE(bucketTexts(reader.buckets(QStringLiteral("a"), minute, to, 1)),
                 QStringList({"4|3|500|2500|4500", "1|1|800|800|800"}));
        QCOMPARE(bucketTexts(reader.buckets(QStringLiteral("a"), minute, to, 2)), QStringList({"5|4|500|2500|5300"}));
        QCOMPARE(bucketTexts(reader.buckets(QStringLiteral("b"), minute, to, 1)), QStringList{"1|1|700|700|700"});
        QVERIFY(reader.buckets(QStringLiteral("c"), minute, to, 1).isEmpty());
        const QList<HistoryReader::StateChange> changes = reader.stateChanges(QStringLiteral("a"), minute, to);
        QCOMPARE(changes.size(), 2);
        QVERIFY(!changes[0].connected && changes[1].connected);
        QCOMPARE(changes[1].atMs, minute + 61000);
        Reader sql(QStringLiteral("History.sqlite"));
        QCOMPARE(sql.rows(QStringLiteral("PRAGMA journal_mode")), QStringList{"wal"});
        QCOMPARE(sql.rows(QStringLiteral("PRAGMA user_version")), QStringList{"2"});
        QVERIFY(m_reports.isEmpty());
    }

    // A file of the first version (addresses in every row) is carried over as it opens.
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

    // Raw results go after a day, the minutes and state changes after the days kept.
    void oldResultsArePruned()
    {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        const qint64 day = 24 * 3600 * 1000;
        const HistoryStore::Limits threeDays{3, qint64(1) << 30, 200000};
        {
            // Kept while the store keeps 30 days.
            std::unique_ptr<HistoryStore> store(newStore());
            store->record(result("a", now - 5 * day, 100));
            // Minutes enough that the file shrinks visibly once they are gone.
            for (int i = 0; i < 20000; ++i)
                store->record(result("old", now - 20 * day + i * 60000LL, 100));
            store->record(result("a", now - 2 * day, 200));
            store->record(result("a", now - 1000, 300));
            store->recordStateChange(QStringLiteral("a"), now - 5 * day, true);
            store->recordStateChange(QStringLiteral("a"), now - 2 * day, false);
            store->flush();
        }
        const qint64 grown = QFileInfo(QStringLiteral("History.sqlite")).size();
        // Pruning runs as a store starts, and gives the space back.
        std::unique_ptr<HistoryStore>(newStore(threeDays))->flush();
        QVERIFY2(QFileInfo(QStringLiteral("History.sqlite")).size() < grown / 4, qPrintable(QString::number(grown)));
        HistoryReader reader(QStringLiteral("History.sqlite"));
        const QList<ProbeRecord> raw = reader.results(QStringLiteral("a"), 0, now + 1);
        QCOMPARE(raw.size(), 1);
        QCOMPARE(raw.first().roundTripUs, 300);
        const QList<HistoryReader::Bucket> minutes = reader.buckets(QStringLiteral("a"), 0, now + 1, 1);
        QCOMPARE(minutes.size(), 2);
        QCOMPARE(minutes.first().sumUs, 200);
        QCOMPARE(reader.stateChanges(QStringLiteral("a"), 0, now).size(), 1);
    }

    // However fast results come, the file stays under its limit: the oldest raw results go
    // first, and every result still counts in its minute.
    void fileStaysWithinItsSize()
    {
        const qint64 limit = 1 << 20;
        const qint64 start = QDateTime::currentMSecsSinceEpoch() - 3600 * 1000;
        constexpr int Rounds = 40;
        constexpr int PerRound = 2000;
        {
            std::unique_ptr<HistoryStore> store(newStore({30, limit, 200000}));
            for (int round = 0; round < Rounds; ++round) {
                for (int i = 0; i < PerRound; ++i) {
                    const int n = round * PerRound + i;
                    store->record(result(n % 2 ? "127.0.0.1" : "127.0.0.2", start + n * 25, 1000 + n % 7));
                }
                store->flush();
                QVERIFY2(QFileInfo(QStringLiteral("History.sqlite")).size() <= limit,
                         qPrintable(QString::number(QFileInfo(QStringLiteral("History.sqlite")).size())));
            }
        }
        HistoryReader reader(QStringLiteral("History.sqlite"));
        const QList<ProbeRecord> kept = reader.results(QStringLiteral("127.0.0.1"), 0, start + 3600 * 1000);
        QVERIFY(!kept.isEmpty() && kept.size() < Rounds * PerRound / 2);
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
    }

    // A file that cannot be used never stops the history: it is moved aside and a new one
    // started, and that is said.
    void unusableFilesAreMovedAside_data()
    {
        QTest::addColumn<bool>("locked");
        QTest::newRow("random bytes") << false;
        QTest::newRow("locked by another program") << true;
    }

    void unusableFilesAreMovedAside()
    {
        QFETCH(bool, locked);
        QByteArray original;
        std::unique_ptr<Reader> holder;
        if (locked) {
            std::unique_ptr<HistoryStore>(newStore())->flush();
            holder = std::make_unique<Reader>(QStringLiteral("History.sqlite"));
            QSqlQuery(holder->db()).exec(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE"));
            QSqlQuery(holder->db()).exec(QStringLiteral("BEGIN EXCLUSIVE"));
        } else {
            original.resize(8192);
            QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(original.data()), original.size() / 4);
            TestFiles::writeFile(QStringLiteral("History.sqlite"), original);
        }
        m_reports.clear();
        {
            std::unique_ptr<HistoryStore> store(newStore());
            store->record(result("a", QDateTime::currentMSecsSinceEpoch(), 100));
            store->flush();
        }
        holder.reset();
        QVERIFY(QFile::exists(QStringLiteral("History.sqlite.unreadable")));
        if (!locked)
            QCOMPARE(TestFiles::readAll(QStringLiteral("History.sqlite.unreadable")), original);
        QCOMPARE(m_reports.size(), 1);
        QVERIFY(m_reports.first().contains(QStringLiteral("History.sqlite.unreadable")));
        Reader reader(QStringLiteral("History.sqlite"));
        QCOMPARE(reader.rows(QStringLiteral("SELECT rtt_us FROM results")), QStringList{"100"});
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
        // minute or one that this run shares; one from before the hour does not.
        statistics.addKeptMinute(QStringLiteral("b"), {now - 5 * 60000, 4, 3, 1000, 3000, 6000});
        statistics.addKeptMinute(QStringLiteral("b"), {now, 1, 1, 4000, 4000, 4000});
        statistics.addKeptMinute(QStringLiteral("b"), {now - 70 * 60000, 9, 0, 0, 0, 0});
        const DeviceStatistics::Summary kept = statistics.lastHour(QStringLiteral("b"), now);
        QCOMPARE(kept.sent, 6);
        QCOMPARE(kept.received, 4);
        QCOMPARE(*kept.averageMs, 2.5);
        QVERIFY(!kept.jitterMs);
    }
};

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"
