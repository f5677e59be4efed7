// SPDX-License-Identifier: GPL-3.0-or-later
// The Prometheus metrics with 2,000 devices in the list, inside a network namespace of its
// own where every loopback address answers:
// - how long a scrape of the shipped program's /metrics takes (tarnwick --headless, probing one
//   device after another without a gap; median and worst of 30) and how large it is;
// - the monitor's results per second at gap 0, real probes, with the metrics recorded and
//   scraped every second, against without them (three rounds of each, taken in turn, medians).
// Needs root.
#include "../tests/common/RunningPinger.h"
#include "BenchTool.h"
#include "WatchingProgram.h"
#include "data/Data.h"
#include "data/Settings.h"
#include "history/DeviceStatistics.h"
#include "metrics/DeviceMetrics.h"
#include "metrics/MetricsServer.h"
#include "net/NameResolver.h"
#include "net/PingerThread.h"
#include "net/ProbeEngine.h"
#include "netlab/HttpGet.h"
#include "netlab/NetworkSandbox.h"

#include "../tests/common/FixedReachability.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

using namespace Tarnwick;

namespace {

constexpr int Port = 9716;
constexpr int ProgramPort = 9715;

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString whyNot;
    if (!NetworkSandbox::enter(&whyNot)) {
        std::fprintf(stderr, "bench_metrics: %s\n", qPrintable(whyNot));
        return 1;
    }
    NameResolver resolver;
    ProbeEngine engine(resolver);
    const int devices = 2000;
    Settings& settings = Settings::instance();
    settings.load(QStringLiteral("/nonexistent/Settings.xml"));
    settings.pingTimeGap = 0;
    settings.pingTimeout = 1000;
    settings.logStateChange = false;
    QStringList addresses;
    for (int i = 0; i < devices; ++i)
        addresses << QStringLiteral("127.0.%1.%2").arg(1 + i / 250).arg(1 + i % 250);

    QList<double> scrapeMs;
    qsizetype bytes = 0;
    {
        WatchingProgram program(QStringLiteral(TARNWICK_EXECUTABLE), addresses,
                                "<PingTimeGap>0</PingTimeGap><PingTimeout>1000</PingTimeout>", ProgramPort);
        // Every device probed a few times, so that every series is there.
        if (!program.probed(4 * devices, 60000)) {
            std::fprintf(stderr, "bench_metrics: the program did not probe as it should\n");
            return 1;
        }
        for (int i = 0; i < 30; ++i) {
            QElapsedTimer timer;
            timer.start();
            bytes = httpGet(ProgramPort, "/metrics").size();
            scrapeMs << double(timer.nsecsElapsed()) / 1e6;
            runFor(50);
        }
        if (!program.end()) {
            std::fprintf(stderr, "bench_metrics: the program did not end as it should\n");
            return 1;
        }
    }
    const double worstScrape = *std::max_element(scrapeMs.cbegin(), scrapeMs.cend());

    Data data;
    for (int i = 0; i < devices; ++i)
        data.addEntry(
            DeviceEntry(addresses.at(i), QStringLiteral("Device %1").arg(i), DeviceTypePC, false, NoReplyResult));
    Data::setInstance(&data);

    DeviceStatistics statistics;
    const FixedReachability noneCutOff;
    const auto metrics = std::make_shared<DeviceMetrics>(data, statistics, noneCutOff, QStringLiteral("bench"),
                                                         [] { return true; });
    std::atomic<bool> metricsOn{true};
    std::atomic<qint64> results{0};
    const auto sink = [&](const QList<ProbeRecord>& taken) {
        for (const ProbeRecord& record : taken) {
            statistics.record(record);
            if (metricsOn.load(std::memory_order_relaxed))
                metrics->record(record);
        }
        results.fetch_add(taken.size(), std::memory_order_relaxed);
    };
    MetricsServer server;
    if (!server.listen(MetricsAddress::parse(QString::number(Port)), metrics, &whyNot)) {
        std::fprintf(stderr, "bench_metrics: cannot serve the metrics: %s\n", qPrintable(whyNot));
        return 1;
    }
    startPinger(NetworkProbe::overNetwork(engine), sink);
    // Every device probed a few times, so that every series is there.
    QElapsedTimer warmUp;
    warmUp.start();
    while (results.load() < 4 * devices && warmUp.elapsed() < 60000)
        runFor(100);

    QList<double> withMetrics;
    QList<double> without;
    for (int round = 0; round < 6; ++round) {
        const bool on = round % 2 == 0;
        metricsOn = on;
        std::atomic<bool> scraping{on};
        std::thread scraper([&scraping] {
            while (scraping) {
                httpGet(Port, "/metrics");
                for (int i = 0; i < 10 && scraping; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
        const qint64 before = results.load();
        QElapsedTimer timer;
        timer.start();
        runFor(4000);
        const double perSecond = double(results.load() - before) * 1000.0 / double(timer.elapsed());
        scraping = false;
        scraper.join();
        (on ? withMetrics : without) << perSecond;
    }
    stopPinger();

    const double on = median(withMetrics);
    const double off = median(without);
    std::printf(
        "tarnwick --headless, %d devices: a scrape of /metrics takes %.1f ms (median of 30, worst %.1f ms), %.0f kB\n",
        devices, median(scrapeMs), worstScrape, double(bytes) / 1000.0);
    std::printf("monitor at gap 0: %.0f results/s with metrics recorded and scraped every second, %.0f without "
                "(%.1f %% fewer)\n",
                on, off, (off - on) * 100.0 / std::max(off, 1.0));
    std::printf("@ metrics_scrape_ms %.1f\n@ metrics_scrape_worst_ms %.1f\n@ metrics_scrape_kb %.0f\n"
                "@ metrics_on_per_s %.0f\n@ metrics_off_per_s %.0f\n",
                median(scrapeMs), worstScrape, double(bytes) / 1000.0, on, off);
    return bytes > 0 ? 0 : 1;
}
