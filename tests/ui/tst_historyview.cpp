// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/HistoryReader.h"
#include "history/HistoryStore.h"
#include "ui/DeviceDetailsDialog.h"
#include "ui/HistoryGraph.h"
#include "ui/SaveFileChooser.h"

#include "../common/TestFiles.h"

#include <QDateTime>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <numeric>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Tarnwick;

namespace {

// Whether another process finds the bytes locked, as SQLite's locks (POSIX record locks) of this
// one would show to it. Asked from a child process: a process never sees its own locks.
bool lockedForOthers(const char* file, off_t start, off_t length)
{
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(file, O_RDONLY);
        struct flock query = {};
        query.l_type = F_WRLCK;
        query.l_whence = SEEK_SET;
        query.l_start = start;
        query.l_len = length;
        _exit(fd >= 0 && ::fcntl(fd, F_GETLK, &query) == 0 && query.l_type != F_UNLCK ? 0 : 1);
    }
    int status = 1;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// SQLite's read lock on the database (its shared byte range) and its mark in the journal's
// index that a connection is open.
bool historyLocksHeld()
{
    return lockedForOthers("History.sqlite", 0x40000002, 510) && lockedForOthers("History.sqlite-shm", 128, 1);
}

// Near enough to tell the colours of the graph apart, whatever the antialiasing leaves at an edge.
bool looksLike(QColor pixel, QColor wanted)
{
    return std::abs(pixel.red() - wanted.red()) + std::abs(pixel.green() - wanted.green())
        + std::abs(pixel.blue() - wanted.blue())
        < 40;
}

} // namespace

class TestHistoryView : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    QTemporaryDir m_data;

    static ProbeRecord answered(qint64 roundTripUs)
    {
        return {QStringLiteral("127.0.0.1"), QDateTime::currentMSecsSinceEpoch(),
                ProbeResult::reply(std::chrono::microseconds(roundTripUs))};
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("HOME", QFile::encodeName(m_home.path()));
        QVERIFY(QDir(m_home.path()).mkpath(QStringLiteral("Documents")));
    }

    void init() { TestFiles::enterEmpty(m_data); }

    // The export dialog, shown on the program's own folder while another program reads the
    // history, costs the running program neither its journal nor its results.
    void fileDialogOnTheDataFolderBesideAnotherReader()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty())
            QSKIP("needs the sqlite3 program");
        HistoryStore store(QStringLiteral("History.sqlite"), {});
        store.record(answered(100));
        store.flush();
        QVERIFY(historyLocksHeld());

        std::unique_ptr<QFileDialog> dialog(
            SaveFileChooser::dialog(nullptr, QStringLiteral("Export results"), QStringLiteral("results.csv")));
        QCOMPARE(dialog->directory().absolutePath(),
                 QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
        auto* model = dialog->findChild<QFileSystemModel*>();
        QVERIFY(model);
        dialog->setViewMode(QFileDialog::Detail);
        dialog->setDirectory(m_data.path());
        dialog->show();
        // The dialog has looked at every file once it tells the journal's type.
        const auto typeShown = [&](const char* name) {
            const QModelIndex index = model->index(m_data.path() + QLatin1Char('/') + QLatin1String(name), 2);
            return index.isValid() && !model->data(index).toString().isEmpty();
        };
        QTRY_VERIFY(typeShown("History.sqlite-shm") && typeShown("History.sqlite-wal"));
        QVERIFY(historyLocksHeld());

        QProcess reader;
        reader.start(QStringLiteral("sqlite3"),
                     {QStringLiteral("History.sqlite"), QStringLiteral("select count(*) from results")});
        QVERIFY(reader.waitForFinished(30000));
        QCOMPARE(reader.readAllStandardOutput().trimmed(), QByteArray("1"));
        QVERIFY(QFile::exists(QStringLiteral("History.sqlite-wal")));
        QVERIFY(historyLocksHeld());

        store.record(answered(200));
        store.flush();
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        QCOMPARE(HistoryReader(QStringLiteral("History.sqlite"))
                     .results(QStringLiteral("127.0.0.1"), now - 60000, now + 1)
                     .size(),
                 2);
    }

    // The round trip is scaled to what most replies show: one slow reply among an hour of fast
    // ones, or a handful, or a new device's one slow minute, stays at the top; a device slow all
    // along sets the scale. Each bucket is given as its replies.
    void roundTripScale_data()
    {
        QTest::addColumn<QList<QList<qint64>>>("bucketsUs");
        QTest::addColumn<double>("scaleMs");
        QTest::addColumn<bool>("spread"); // each bucket's sketch kept, as minutes recorded now have it
        QList<QList<qint64>> hour(60, {900});
        QTest::newRow("an hour of 0.9 ms") << hour << 2.0 << false;
        hour[30] = {280000};
        QTest::newRow("one 280 ms reply in it") << hour << 2.0 << false;
        hour[10] = hour[20] = {280000};
        QTest::newRow("three of them") << hour << 2.0 << false;
        hour[40] = {280000};
        QTest::newRow("four of them") << hour << 500.0 << false;
        QTest::newRow("one bucket only") << QList<QList<qint64>>{{280000}} << 500.0 << false;
        QTest::newRow("head-room above 4 ms") << QList<QList<qint64>>(10, {4000}) << 5.0 << false;
        QTest::newRow("head-room above 4.1 ms") << QList<QList<qint64>>(10, {4100}) << 10.0 << false;
        QTest::newRow("no replies") << QList<QList<qint64>>{} << 0.1 << false;

        QList<QList<qint64>> sevenMinutes(7, QList<qint64>(60, 1000));
        sevenMinutes[3][20] = 480000;
        QTest::newRow("7 buckets, one with a 480 ms reply") << sevenMinutes << 2.0 << false;
        QList<QList<qint64>> sevenReplies(7, {1000});
        sevenReplies[3] = {480000};
        QTest::newRow("7 buckets of one reply, one of 480 ms") << sevenReplies << 2.0 << false;
        QList<QList<qint64>> often(60, QList<qint64>(60, 900));
        for (int minute = 0; minute < 60; minute += 10)
            often[minute][0] = 280000;
        QTest::newRow("a 280 ms reply in every tenth minute") << often << 10.0 << false;
        QTest::newRow("all about 300 ms") << QList<QList<qint64>>(60, {290000, 300000, 310000}) << 500.0 << false;
        QTest::newRow("two modes, 1 and 50 ms, averaged") << QList<QList<qint64>>(60, {1000, 50000}) << 50.0 << false;
        QTest::newRow("two modes, 1 and 50 ms, spread") << QList<QList<qint64>>(60, {1000, 50000}) << 100.0 << true;
        QTest::newRow("a 280 ms reply in every tenth minute, spread") << often << 2.0 << true;
    }

    void roundTripScale()
    {
        QFETCH(QList<QList<qint64>>, bucketsUs);
        QFETCH(bool, spread);
        QList<HistoryReader::Bucket> buckets;
        for (const QList<qint64>& replies : bucketsUs) {
            const auto [fastest, slowest] = std::minmax_element(replies.cbegin(), replies.cend());
            LatencySketch sketch;
            for (const qint64 us : spread ? replies : QList<qint64>())
                sketch.add(us);
            buckets.append({buckets.size() * 60000LL, int(replies.size()), int(replies.size()), *fastest, *slowest,
                            std::accumulate(replies.cbegin(), replies.cend(), qint64(0)), sketch});
        }
        // Minutes without a reply count for nothing.
        buckets.append({-60000, 1, 0, 0, 0, 0});
        QTEST(HistoryGraph::roundTripScaleMs(buckets), "scaleMs");
    }

    // The details view of a device that flapped, went slow for a while and once answered in
    // 280 ms among an hour of 0.9 ms replies: the fast replies fill the graph, the slow one
    // is marked at the top edge, and the states run along a strip below, not across the graph.
    void detailsDrawLatencyAndStates()
    {
        const QString ip = QStringLiteral("127.0.0.1");
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        constexpr qint64 MinuteMs = 60000;
        {
            HistoryStore store(QStringLiteral("History.sqlite"), {});
            for (int minute = 1; minute < 60; ++minute) {
                // Tarnwick did not run for a minute, 38 minutes ago.
                if (minute != 38)
                    store.record({ip, now - minute * MinuteMs,
                                  ProbeResult::reply(std::chrono::microseconds(minute == 30 ? 280000 : 900))});
            }
            store.recordStateChange(ip, now - 120 * MinuteMs, true);
            store.recordStateChange(ip, now - 50 * MinuteMs, false);
            store.recordStateChange(ip, now - 48 * MinuteMs, true);
            store.recordSlowChange(ip, now - 20 * MinuteMs, true);
            store.recordSlowChange(ip, now - 15 * MinuteMs, false);
        }
        DeviceDetailsDialog details(ip, QString(), QStringLiteral("History.sqlite"));
        details.show();
        HistoryGraph* graph = details.graph();
        const QImage image = graph->grab().toImage();
        const HistoryGraph::Series& series = graph->series();
        const HistoryGraph::Areas areas = HistoryGraph::areas(graph->rect(), graph->fontMetrics(), true);
        const QRect& rtt = areas.roundTrip;
        const auto xAt = [&](qint64 ms) {
            return rtt.left() + int(double(ms - series.fromMs) / double(series.toMs - series.fromMs) * rtt.width());
        };
        const auto stateAt = [&](qint64 minutesAgo) {
            return image.pixelColor(xAt(now - minutesAgo * MinuteMs), areas.states.center().y());
        };
        QVERIFY(looksLike(stateAt(55), HistoryGraph::ConnectedColor));
        QVERIFY(looksLike(stateAt(49), HistoryGraph::DisconnectedColor));
        QVERIFY(looksLike(stateAt(17), HistoryGraph::SlowColor));
        QVERIFY(looksLike(stateAt(5), HistoryGraph::ConnectedColor));
        // The middle of the minute without results: its edges may share a pixel with its neighbours.
        const qint64 stopped = (now - 38 * MinuteMs) / MinuteMs * MinuteMs + MinuteMs / 2;
        QCOMPARE(image.pixelColor(xAt(stopped), areas.states.center().y()),
                 image.pixelColor(xAt(stopped), areas.states.top() - 1));
        for (int y = rtt.top(); y <= rtt.bottom(); ++y) {
            for (const qint64 minutesAgo : {50, 48, 20})
                QVERIFY(
                    !looksLike(image.pixelColor(xAt(now - minutesAgo * MinuteMs), y), HistoryGraph::DisconnectedColor));
        }

        const auto outlier = std::find_if(series.buckets.cbegin(), series.buckets.cend(),
                                          [](const HistoryReader::Bucket& b) { return b.maxUs == 280000; });
        QVERIFY(outlier != series.buckets.cend());
        const int outlierX = (xAt(outlier->startMs) + xAt(outlier->startMs + series.bucketMs)) / 2;
        QVERIFY(looksLike(image.pixelColor(outlierX, rtt.top() + 4), HistoryGraph::CaretColor));
        // The average of the fast replies, found in its column, stands near the middle.
        const int fastX = xAt(now - 10 * MinuteMs);
        int averageY = -1;
        for (int y = rtt.top(); y <= rtt.bottom() && averageY < 0; ++y) {
            if (looksLike(image.pixelColor(fastX, y), HistoryGraph::AverageColor))
                averageY = y;
        }
        QVERIFY(averageY >= 0);
        const double height = double(rtt.bottom() - averageY) / rtt.height();
        QVERIFY2(height > 0.3 && height < 0.6, qPrintable(QString::number(height)));
    }

    // The buckets at the range's ends (here the running minute, half gone) stay in the plot.
    void graphStaysInItsPlot()
    {
        HistoryGraph::Series series;
        series.toMs = 60 * 60000 + 30000;
        for (qint64 minute = 0; minute <= 60; ++minute)
            series.buckets.append({minute * 60000, 2, 1, 900, 900, 900});
        HistoryGraph graph;
        graph.setSeries(series);
        const QImage image = graph.grab().toImage();
        const HistoryGraph::Areas areas = HistoryGraph::areas(graph.rect(), graph.fontMetrics(), true);
        for (int y = areas.roundTrip.top(); y <= areas.loss.bottom(); ++y)
            QCOMPARE(image.pixelColor(areas.loss.right() + 3, y), image.pixelColor(graph.width() - 1, y));
    }

    // While results do not reach the file, the details view says so and why.
    void detailsSayWhenRecordingStopped()
    {
        QString problem = QStringLiteral("database is locked");
        DeviceDetailsDialog details(QStringLiteral("127.0.0.1"), QString(), QStringLiteral("History.sqlite"),
                                    [&] { return problem; });
        auto* recording = details.findChild<QLabel*>(QStringLiteral("recordingLabel"));
        details.show();
        QVERIFY(recording->isVisible());
        QVERIFY(recording->text().contains(QStringLiteral("Recording has stopped: database is locked")));
        problem.clear();
        details.refresh();
        QVERIFY(!recording->isVisible());
    }
};

QTEST_MAIN(TestHistoryView)
#include "tst_historyview.moc"
