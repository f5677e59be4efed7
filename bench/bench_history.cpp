// SPDX-License-Identifier: GPL-3.0-or-later
// The history file over a month, written through the store as the monitor would:
// - 2,000 devices at the default timing (gap 500 ms, one device at a time: two results a
//   second in all, each device every 1,000 s) for 30 days: the file's size once pruned, and
//   how fast the store takes results in;
// - one device probed twice a second for 30 days (5.2 million results): how long its details
//   view takes to open and draw, for each range.
// With --details, only the second, on the "Busy.sqlite" an earlier run left where there is one
// (to compare two builds of the view on the same file).
#include "history/HistoryStore.h"
#include "ui/DeviceDetailsDialog.h"
#include "ui/HistoryGraph.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>

#include <algorithm>
#include <cstdio>

using namespace Tarnwick;

namespace {

constexpr qint64 DayMs = 24 * 3600 * 1000LL;
constexpr qint64 Month = 30 * DayMs;

// Records two results a second over the last 30 days; deviceOf(n) names the device of the
// n-th. Returns the results taken in per second.
template <typename DeviceOf>
double writeMonth(const QString& fileName, DeviceOf deviceOf)
{
    QFile::remove(fileName);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const qint64 count = Month / 500;
    QElapsedTimer clock;
    clock.start();
    {
        HistoryStore store(fileName, {});
        for (qint64 n = 0; n < count; ++n) {
            const bool answered = n % 50 != 0;
            store.record({deviceOf(n), now - Month + n * 500,
                          answered ? ProbeResult::reply(std::chrono::microseconds(300 + (n * 7919) % 900))
                                   : ProbeResult::timeout()});
            // Never more waiting than the store keeps one by one.
            if (n % 100000 == 99999)
                store.flush();
        }
    }
    const double perSecond = double(count) * 1000.0 / double(std::max<qint64>(1, clock.elapsed()));
    // A new store prunes what is past keeping as it opens.
    HistoryStore(fileName, {}).flush();
    return perSecond;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const bool detailsOnly = QCoreApplication::arguments().contains(QStringLiteral("--details"));
    if (!detailsOnly) {
        QList<QString> devices;
        for (int i = 0; i < 2000; ++i)
            devices << QStringLiteral("127.0.%1.%2").arg(1 + i / 250).arg(1 + i % 250);
        const double perSecond = writeMonth(QStringLiteral("Default.sqlite"),
                                            [&](qint64 n) { return devices[n % 2000]; });
        const double megabytes = double(QFileInfo(QStringLiteral("Default.sqlite")).size()) / 1e6;
        std::printf("2,000 devices, default timing, 30 days (5,184,000 results): %.1f MB; taken in at %.0f results/s\n",
                    megabytes, perSecond);
        std::printf("@ history_default_30d_mb %.1f\n@ history_insert_per_s %.0f\n", megabytes, perSecond);
    }

    const QString watched = QStringLiteral("127.0.0.1");
    if (!detailsOnly || !QFile::exists(QStringLiteral("Busy.sqlite")))
        writeMonth(QStringLiteral("Busy.sqlite"), [&](qint64) { return watched; });
    qint64 worst = 0;
    for (const auto range : {DeviceDetailsDialog::LastHour, DeviceDetailsDialog::LastDay, DeviceDetailsDialog::LastWeek,
                             DeviceDetailsDialog::LastMonth}) {
        QElapsedTimer clock;
        clock.start();
        DeviceDetailsDialog dialog(watched, QString(), QStringLiteral("Busy.sqlite"));
        dialog.setRange(range);
        dialog.show();
        const QPixmap drawn = dialog.grab();
        const qint64 took = clock.elapsed();
        std::printf("details of a device with 5,184,000 results, range %d: open and drawn in %lld ms (%d buckets)\n",
                    int(range), static_cast<long long>(took), int(dialog.graph()->series().buckets.size()));
        worst = std::max(worst, took);
    }
    std::printf("@ history_details_ms %lld\n", static_cast<long long>(worst));
    return 0;
}
