// SPDX-License-Identifier: GPL-3.0-or-later
// The device list with 10,000 entries, and the log tab with a long log:
// - sorting by the address, the result and the description, and filtering: the longest;
// - the longest stall of the event loop while results stream in at gap 0 with the list sorted
//   by the result, which moves rows all the time;
// - the log tab opened on a LogRelease.txt of 200,000 lines: how long it takes and the memory
//   it takes;
// - the periodic statistics refresh of a list of 20,000 rows with a statistics source: the GUI
//   time from the refresh until the rows on screen are painted anew, worst of 10.
#include "../tests/common/RunningPinger.h"
#include "BenchMemory.h"
#include "data/Data.h"
#include "data/Settings.h"
#include "log/FileLog.h"
#include "log/LogManager.h"
#include "net/PingerThread.h"
#include "ui/LogListWidget.h"
#include "ui/UserList.h"
#include "ui/UserListTreeWidget.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>

using namespace Tarnwick;

namespace {

void openTheLog()
{
    {
        QFile file(QStringLiteral("LogRelease.txt"));
        file.open(QIODevice::WriteOnly);
        for (int i = 0; i < 200000; ++i)
            file.write(
                QStringLiteral("[08/12/2026 10:%1:%2] | DeviceList | Device 10.0.%3.%4 state changed to: connected\n")
                    .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                    .arg(i % 60, 2, 10, QLatin1Char('0'))
                    .arg(i / 250 % 250)
                    .arg(i % 250)
                    .toUtf8());
    }
    static FileLog log("LogRelease.txt");
    LogManager::instance().addLog(&log);
    const double before = residentMegabytes();
    QElapsedTimer clock;
    clock.start();
    auto* tab = new LogListWidget;
    tab->resize(800, 500);
    tab->show();
    QCoreApplication::processEvents();
    const qint64 took = clock.elapsed();
    const double taken = residentMegabytes() - before;
    std::printf("log tab on 200,000 lines: open in %lld ms, %.1f MB\n", static_cast<long long>(took), taken);
    std::printf("@ log_open_ms %lld\n@ log_memory_mb %.1f\n", static_cast<long long>(took), taken);
    delete tab;
}

double threadCpuUs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

void refreshTwentyThousand()
{
    Data data;
    for (int i = 0; i < 20000; ++i)
        data.addEntry(DeviceEntry(QStringLiteral("127.%1.%2.%3").arg(i / 62500).arg(i / 250 % 250).arg(1 + i % 250),
                                  QStringLiteral("Device %1").arg(i), 1 + i % 4, false, QString::number(i % 97)));
    Data::setInstance(&data);
    // Figures that change with every refresh, as an hour's statistics do.
    int generation = 0;
    UserList list({.statistics = [&generation](const QString& ip) {
        const double seed = double(qHash(ip) % 1000 + generation);
        return UserList::RowStatistics{seed / 100.0, seed / 10.0, seed / 50.0, QDateTime::currentMSecsSinceEpoch()};
    }});
    for (const DeviceEntry& e : data.entries())
        list.addEntryRow(e);
    list.resize(900, 600);
    list.show();
    QCoreApplication::processEvents();
    qint64 worstUs = 0;
    double worstCpuUs = 0;
    for (int round = 0; round < 10; ++round) {
        ++generation;
        QElapsedTimer clock;
        clock.start();
        const double cpuBefore = threadCpuUs();
        list.refreshStatistics();
        // The repaint the refresh asked for, and whatever it posted.
        list.tree()->viewport()->repaint();
        QCoreApplication::processEvents();
        worstCpuUs = std::max(worstCpuUs, threadCpuUs() - cpuBefore);
        worstUs = std::max(worstUs, clock.nsecsElapsed() / 1000);
    }
    // The CPU time is what the GUI thread spent; the wall time adds whatever else ran on a
    // busy machine meanwhile.
    std::printf("20,000 rows: statistics refresh %.1f ms of GUI thread CPU time, %.1f ms wall (worst of 10)\n",
                worstCpuUs / 1000.0, double(worstUs) / 1000.0);
    std::printf("@ list_refresh_20000_ms %.1f\n@ list_refresh_20000_wall_ms %.1f\n", worstCpuUs / 1000.0,
                double(worstUs) / 1000.0);
    Data::setInstance(nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    openTheLog();

    Settings::instance().load(QStringLiteral("/nonexistent/Settings.xml"));
    refreshTwentyThousand();
    Settings::instance().pingTimeGap = 0;
    Settings::instance().logStateChange = false;
    Data data;
    for (int i = 0; i < 10000; ++i)
        data.addEntry(DeviceEntry(QStringLiteral("127.%1.%2.%3").arg(i / 62500).arg(i / 250 % 250).arg(1 + i % 250),
                                  QStringLiteral("Device %1").arg((i * 7919) % 10000), 1 + i % 4, false,
                                  QString::number(i % 97)));
    Data::setInstance(&data);
    UserList list;
    data.connectReceiver(&list);
    for (const DeviceEntry& e : data.entries())
        list.addEntryRow(e);
    list.resize(900, 600);
    list.show();
    QCoreApplication::processEvents();

    qint64 slowest = 0;
    for (const int column : {2, 3, 4}) {
        QElapsedTimer clock;
        clock.start();
        list.tree()->setSort(column, Qt::DescendingOrder);
        QCoreApplication::processEvents();
        slowest = std::max(slowest, clock.elapsed());
    }
    QElapsedTimer clock;
    clock.start();
    list.findChild<QLineEdit*>(QStringLiteral("filterEdit"))->setText(QStringLiteral("Device 12"));
    QCoreApplication::processEvents();
    const qint64 filtered = clock.elapsed();
    list.findChild<QLineEdit*>(QStringLiteral("filterEdit"))->clear();
    std::printf("10,000 entries: slowest sort %lld ms, filter %lld ms\n", static_cast<long long>(slowest),
                static_cast<long long>(filtered));
    std::printf("@ list_sort_ms %lld\n@ list_filter_ms %lld\n", static_cast<long long>(slowest),
                static_cast<long long>(filtered));

    // Sorted by the result, with results that change every time.
    list.tree()->setSort(3, Qt::AscendingOrder);
    const int wanted = 100000;
    int delivered = 0;
    QObject::connect(&data, &Data::DeviceEntryChanged, &app, [&](DeviceEntryChangedEvent*) {
        if (++delivered == wanted)
            QCoreApplication::quit();
    });
    qint64 lastTick = -1;
    qint64 longestStall = 0;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (lastTick >= 0)
            longestStall = std::max(longestStall, now - lastTick);
        lastTick = now;
    });
    clock.restart();
    ticker.start();
    std::atomic<int> turn{0};
    startPinger(NetworkProbe::from(
        [&turn](const QString&, int) { return ProbeResult::reply(std::chrono::milliseconds(turn++ % 97)); }));
    app.exec();
    stopPinger();
    QCoreApplication::sendPostedEvents();
    std::printf("sorted by result, %d results at gap 0 in %.2f s: longest stall %lld ms\n", delivered,
                double(clock.elapsed()) / 1000.0, static_cast<long long>(longestStall));
    std::printf("@ list_sorted_stall_ms %lld\n", static_cast<long long>(longestStall));
    Data::setInstance(nullptr);
    return 0;
}
