#include "history/DeviceStatistics.h"
#include "history/HistoryStore.h"

#include "../common/TestFiles.h"

#include <QDateTime>
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

    HistoryStore* newStore(int keepDays = 30)
    {
        return new HistoryStore(QStringLiteral("History.sqlite"), keepDays,
                                [this](const QString& text) { m_reports << text; });
    }

private slots:
    void init()
    {
        TestFiles::enterEmpty(m_dir);
        m_reports.clear();
    }

    // Every result is kept as it came, and each minute of each device is summed up.
    void resultsAndMinutes()
    {
        const qint64 minute = QDateTime::currentMSecsSinceEpoch() / 60000 * 60000;
        {
            std::unique_ptr<HistoryStore> store(newStore());
            store->record(result("a", minute + 1000, 1500));
            store->record(result("a", minute + 2000, -1));
            store->record(result("a", minute + 3000, 500));
            store->record(result("b", minute + 4000, 700));
            store->flush();
            store->record(result("a", minute + 5000, 2500));
        }
        Reader reader(QStringLiteral("History.sqlite"));
        QCOMPARE(reader.rows(QStringLiteral("SELECT count(*) FROM results")), QStringList{"5"});
        QCOMPARE(reader.rows(QStringLiteral("SELECT outcome, rtt_us FROM results WHERE device = 'a' ORDER BY at")),
                 QStringList({"0|1500", "1|0", "0|500", "0|2500"}));
        QCOMPARE(reader.rows(QStringLiteral("SELECT device, sent, received, min_us, max_us, sum_us FROM minutes "
                                            "ORDER BY device")),
                 QStringList({"a|4|3|500|2500|4500", "b|1|1|700|700|700"}));
        QCOMPARE(reader.rows(QStringLiteral("PRAGMA journal_mode")), QStringList{"wal"});
        QCOMPARE(reader.rows(QStringLiteral("PRAGMA user_version")), QStringList{"1"});
        QVERIFY(m_reports.isEmpty());
    }

    // Raw results go after a day, the minutes after the days kept.
    void oldResultsArePruned()
    {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        const qint64 day = 24 * 3600 * 1000;
        {
            std::unique_ptr<HistoryStore> store(newStore(3));
            store->record(result("a", now - 5 * day, 100));
            store->record(result("a", now - 2 * day, 200));
            store->record(result("a", now - 1000, 300));
            store->flush();
        }
        // Pruning runs as the store starts.
        std::unique_ptr<HistoryStore>(newStore(3))->flush();
        Reader reader(QStringLiteral("History.sqlite"));
        QCOMPARE(reader.rows(QStringLiteral("SELECT rtt_us FROM results")), QStringList{"300"});
        QCOMPARE(reader.rows(QStringLiteral("SELECT sum_us FROM minutes ORDER BY minute")),
                 QStringList({"200", "300"}));
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
    }
};

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"
