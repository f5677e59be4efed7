// SPDX-License-Identifier: GPL-3.0-or-later
// The window with 100,000 devices in the period mode (every device probed once a minute), all of
// them read at start and so not yet probed:
// - how long until the list is usable: from making the window until the first turn of the event
//   loop after the list's first paint with rows;
// - the longest turn of the event loop (a 5 ms timer) while the first results of every device
//   come in (all connected), and then while 65,536 of them go silent at once: each comes as a
//   hand-off of 256 results every 20 ms, the monitor's largest, at 12,800 results a second, more
//   than twice the most the probe engine sends; and the share of each phase the GUI thread was
//   busy.
#include "app/MainWindow.h"
#include "data/Data.h"
#include "data/Settings.h"
#include "data/VisualRepresentationData.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>

using namespace Tarnwick;

namespace {

constexpr int Devices = 100000;
constexpr int Silent = 65536;
constexpr int HandOff = 256;
constexpr int HandOffMs = 20;

double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

QString address(int i)
{
    return QStringLiteral("127.%1.%2.%3").arg(1 + i / 65536).arg((i / 256) % 256).arg(i % 256);
}

// Notes when the list's viewport first paints with rows in it.
class FirstPaint : public QObject
{
public:
    explicit FirstPaint(QAbstractItemView* list)
        : m_list(list)
    {
        list->viewport()->installEventFilter(this);
    }
    bool painted() const { return m_painted; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && m_list->model()->rowCount() > 0)
            m_painted = true;
        return QObject::eventFilter(watched, event);
    }

private:
    QAbstractItemView* const m_list;
    bool m_painted = false;
};

// Hands results to the store on the GUI thread, as the monitor does, HandOff every HandOffMs,
// for the devices from first to end; returns the longest turn of the event loop meanwhile.
qint64 deliver(Data& data, int first, int end, const ProbeResult& result)
{
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = -1;
    qint64 longest = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (lastTick >= 0)
            longest = std::max(longest, now - lastTick);
        lastTick = now;
    });
    int next = first;
    bool done = false;
    QTimer feeder;
    feeder.setTimerType(Qt::PreciseTimer);
    feeder.setInterval(HandOffMs);
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        QList<ProbeRecord> batch;
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        for (; next < end && batch.size() < HandOff; ++next)
            batch.append({address(next), now, result});
        data.setPingResults(batch);
        if (next < end)
            return;
        feeder.stop();
        // Half a second more for what the changes left to do (the sort, the summary).
        QTimer::singleShot(500, [&done] { done = true; });
    });
    ticker.start();
    feeder.start();
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return longest;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Settings::instance().load(QStringLiteral("/nonexistent/Settings.xml"));
    Settings::instance().probePeriod = 60;
    Settings::instance().logStateChange = false;

    Data data;
    for (int i = 0; i < Devices; ++i)
        data.addEntry(DeviceEntry(address(i), QStringLiteral("Device %1").arg(i), 1 + i % 4, false, NoReplyResult));
    data.awaitFirstResults();
    Data::setInstance(&data);
    VisualRepresentationData map;
    VisualRepresentationData::setInstance(&map);

    QElapsedTimer clock;
    clock.start();
    QPointer<MainWindow> window = new MainWindow;
    MainWindow::setInstance(window);
    auto* list = window->findChild<QAbstractItemView*>(QStringLiteral("deviceTree"));
    const FirstPaint paint(list);
    window->resize(1000, 700);
    window->show();
    while (!paint.painted())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // The first turn of the loop after that paint.
    bool turned = false;
    QTimer::singleShot(0, [&turned] { turned = true; });
    while (!turned)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const qint64 usableMs = clock.elapsed();
    while (list->model()->rowCount() < Devices)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const qint64 filledMs = clock.elapsed();
    std::printf("window with %d devices (period mode, not yet probed): usable after %lld ms, every row after %lld ms\n",
                Devices, static_cast<long long>(usableMs), static_cast<long long>(filledMs));

    struct Phase
    {
        qint64 stallMs;
        qint64 wallMs;
        double busyPercent;
    };
    const auto phase = [&](int end, const ProbeResult& result) {
        clock.restart();
        const double cpuBefore = threadCpuMs();
        const qint64 stall = deliver(data, 0, end, result);
        const qint64 wall = clock.elapsed();
        return Phase{stall, wall, 100.0 * (threadCpuMs() - cpuBefore) / double(std::max<qint64>(wall, 1))};
    };
    const Phase first = phase(Devices, ProbeResult::reply(std::chrono::milliseconds(1)));
    const Phase outage = phase(Silent, ProbeResult::timeout());
    std::printf("first results of all %d devices (%d every %d ms): longest event-loop turn %lld ms, %lld ms in all, "
                "GUI thread busy %.0f %%\n",
                Devices, HandOff, HandOffMs, static_cast<long long>(first.stallMs),
                static_cast<long long>(first.wallMs), first.busyPercent);
    std::printf("mass outage of %d of them: longest event-loop turn %lld ms, %lld ms in all, GUI thread busy %.0f %%\n",
                Silent, static_cast<long long>(outage.stallMs), static_cast<long long>(outage.wallMs),
                outage.busyPercent);
    std::printf("@ outage_usable_ms %lld\n@ outage_first_stall_ms %lld\n@ outage_stall_ms %lld\n"
                "@ outage_first_busy_pct %.0f\n@ outage_busy_pct %.0f\n",
                static_cast<long long>(usableMs), static_cast<long long>(first.stallMs),
                static_cast<long long>(outage.stallMs), first.busyPercent, outage.busyPercent);
    delete window;
    Data::setInstance(nullptr);
    VisualRepresentationData::setInstance(nullptr);
    return 0;
}
