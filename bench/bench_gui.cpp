// SPDX-License-Identifier: GPL-3.0-or-later
// The GUI thread under a flood of probe results: 2,000 devices in the list and on the map, the
// pinger with gap 0 and a probe that answers at once, the history recording every result, until
// 100,000 results have reached the window. Prints the longest stall of the event loop, the
// largest backlog of undelivered results, the memory used, and what the history made of it: its
// size and how fast it took the results in. Before that, the GUI thread's CPU time per result with
// no device placed on the map and with 1,000 placed (alternately, the median of each), and their
// ratio.
#include "../tests/common/RunningPinger.h"
#include "BenchMemory.h"
#include "BenchTool.h"
#include "app/MainWindow.h"
#include "data/Data.h"
#include "data/Settings.h"
#include "data/VisualRepresentationData.h"
#include "monitor/HistoryRecorder.h"
#include "net/PingerThread.h"
#include "ui/UserList.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPointer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>

using namespace Tarnwick;

namespace {

// The map draws and follows results on the GUI thread alone: the pinger's and the history's
// threads, which write in bursts of their own, would only blur its share.
double guiThreadCpuUs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

// The GUI thread's CPU time per result while count results reach the window.
double cpuPerResultUs(Data& data, int count)
{
    int delivered = 0;
    const QMetaObject::Connection counting = QObject::connect(&data, &Data::DeviceEntryChanged, qApp,
                                                              [&](DeviceEntryChangedEvent*) { ++delivered; });
    const double before = guiThreadCpuUs();
    startPinger(
        NetworkProbe::from([](const QString&, int) { return ProbeResult::reply(std::chrono::microseconds(0)); }));
    // Not the application's own loop: quitting it would close the window.
    while (delivered < count)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    stopPinger();
    const double spent = guiThreadCpuUs() - before;
    QCoreApplication::sendPostedEvents();
    QObject::disconnect(counting);
    return spent / double(std::max(delivered, 1));
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int devices = 2000;
    const int wanted = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;

    Settings::instance().load(QStringLiteral("/nonexistent/Settings.xml"));
    Settings::instance().pingTimeGap = 0;
    Settings::instance().pingTimeout = 1000;
    Settings::instance().logStateChange = false;

    Data data;
    for (int i = 0; i < devices; ++i)
        data.addEntry(DeviceEntry(QStringLiteral("127.0.%1.%2").arg(1 + i / 250).arg(1 + i % 250),
                                  QStringLiteral("Device %1").arg(i), 1 + i % 4, false, NoReplyResult));
    Data::setInstance(&data);
    VisualRepresentationData map;
    VisualRepresentationData::setInstance(&map);
    auto history = std::make_unique<HistoryRecorder>(QStringLiteral("History.sqlite"), Settings::instance(), data);
    // Quitting the application closes its windows, and a closed main window deletes itself. The
    // list reads its statistics from the history, as in the program.
    QPointer<MainWindow> window = new MainWindow({.statistics = [&history](const QString& ip) {
        if (!history)
            return UserList::RowStatistics();
        const DeviceStatistics::Summary hour = history->statistics().lastHour(ip, QDateTime::currentMSecsSinceEpoch());
        return UserList::RowStatistics{hour.lossPercent, hour.averageMs, hour.jitterMs, hour.lastAnsweredMs};
    }});
    MainWindow::setInstance(window);
    window->show();

    // The same flood with nothing placed on the map and with 1,000 devices placed, alternately,
    // five times each: a moment of other work on the machine that falls in one short phase but
    // not the other would say more than the map does. The window stays for the run that follows,
    // with every device placed on the map.
    const int perPhase = 100000;
    // A first pass takes every device out of "not yet probed" first, which neither run should pay.
    cpuPerResultUs(data, 2 * devices);
    const QList<DeviceEntry> entries = data.entries();
    QList<double> none;
    QList<double> placed;
    for (int round = 0; round < 5; ++round) {
        none.push_back(cpuPerResultUs(data, perPhase));
        for (int i = 0; i < 1000; ++i)
            map.addItem({entries.at(i).ip, 60 * (i % 40), 60 * (i / 40)});
        // Placing is paid once (the scene's index, fitting the view), not by each result.
        runFor(300);
        placed.push_back(cpuPerResultUs(data, perPhase));
        for (const DeviceEntry& e : entries.mid(0, 1000))
            map.removeItem(e.ip);
        runFor(300);
    }
    const double noneUs = median(none);
    const double placedUs = median(placed);
    std::printf(
        "GUI thread CPU per result (median of 5 alternate runs of %d results): %.2f us with no device on the map, "
        "%.2f us with 1,000 placed (%.2fx)\n",
        perPhase, noneUs, placedUs, placedUs / noneUs);
    std::printf("@ gui_cpu_none_us %.2f\n@ gui_cpu_placed_us %.2f\n", noneUs, placedUs);
    for (int i = 0; i < devices; ++i)
        map.addItem({entries.at(i).ip, 60 * (i % 50), 60 * (i / 50)});
    runFor(300);

    int delivered = 0;
    QObject::connect(&data, &Data::DeviceEntryChanged, &app, [&](DeviceEntryChangedEvent*) {
        if (++delivered == wanted)
            QCoreApplication::quit();
    });

    QElapsedTimer clock;
    qint64 lastTick = -1;
    qint64 longestStall = 0;
    int largestBacklog = 0;
    double memoryAtTenth = 0;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&]() {
        const qint64 now = clock.elapsed();
        if (lastTick >= 0)
            longestStall = std::max(longestStall, now - lastTick);
        lastTick = now;
        if (PingerThread* pinger = currentPinger())
            largestBacklog = std::max(largestBacklog, pinger->resultsWaiting());
        if (memoryAtTenth == 0 && delivered >= wanted / 10)
            memoryAtTenth = residentMegabytes();
    });

    clock.start();
    ticker.start();
    // Results faster than any network gives them (the probe engine sends one request a
    // millisecond at most): the window is what is measured.
    startPinger(
        NetworkProbe::from([](const QString&, int) { return ProbeResult::reply(std::chrono::microseconds(0)); }),
        [&history](const QList<ProbeRecord>& results) {
            for (const ProbeRecord& record : results)
                history->record(record);
        });
    app.exec();
    const qint64 took = clock.elapsed();
    stopPinger();
    QCoreApplication::sendPostedEvents();
    // Whatever the history still holds is written as it closes.
    history.reset();
    const qint64 stored = clock.elapsed();
    qint64 rows = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("count"));
        db.setDatabaseName(QStringLiteral("History.sqlite"));
        QSqlQuery query(db);
        if (db.open() && query.exec(QStringLiteral("SELECT sum(sent) FROM minutes")) && query.next())
            rows = query.value(0).toLongLong();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("count"));
    const qint64 bytes = QFileInfo(QStringLiteral("History.sqlite")).size();
    std::printf(
        "history: %lld results in %.1f MB (%.0f bytes each), all stored %.2f s after the start: %.0f results/s\n",
        static_cast<long long>(rows), double(bytes) / 1e6, double(bytes) / double(std::max<qint64>(rows, 1)),
        double(stored) / 1000.0, double(rows) * 1000.0 / double(std::max<qint64>(stored, 1)));
    std::printf("@ gui_history_results %lld\n@ gui_history_mb %.1f\n@ gui_history_bytes_per_result %.0f\n"
                "@ gui_history_per_s %.0f\n",
                static_cast<long long>(rows), double(bytes) / 1e6, double(bytes) / double(std::max<qint64>(rows, 1)),
                double(rows) * 1000.0 / double(std::max<qint64>(stored, 1)));

    std::printf("%d devices, %d results (instant stand-in probes) in %.2f s: %.0f results/s\n", devices, delivered,
                double(took) / 1000.0, delivered * 1000.0 / double(std::max<qint64>(took, 1)));
    std::printf("longest event-loop stall: %lld ms (a 5 ms timer)\n", static_cast<long long>(longestStall));
    std::printf("largest backlog of undelivered results: %d\n", largestBacklog);
    const double memoryAtEnd = residentMegabytes();
    std::printf("resident memory: %.1f MB after %d results, %.1f MB after %d\n", memoryAtTenth, wanted / 10,
                memoryAtEnd, delivered);
    std::printf("@ gui_results_per_s %.0f\n@ gui_stall_ms %lld\n@ gui_backlog %d\n@ gui_memory_early_mb %.1f\n"
                "@ gui_memory_late_mb %.1f\n",
                delivered * 1000.0 / double(std::max<qint64>(took, 1)), static_cast<long long>(longestStall),
                largestBacklog, memoryAtTenth, memoryAtEnd);

    delete window;
    VisualRepresentationData::setInstance(nullptr);
    return 0;
}
