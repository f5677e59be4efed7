// SPDX-License-Identifier: GPL-3.0-or-later
// The shipped server program with 10,000 devices, each probed every 10 s (1,000 probes a
// second), inside a network namespace of its own where every device is a loopback address that
// answers, its API and metrics on loopback:
// - how long GET /api/v1/devices takes (median and worst of 30), and how large it is;
// - probes a second while a client asks GET /api/v1/devices ten times a second, against while
//   nobody asks (three rounds of 30 s each, taken in turn, medians: a scrape of 10,000 devices
//   takes a tenth of a second, so the rounds are long enough for that not to count);
// - probes a second, and the slowest scrape of /metrics, over 10 s while 200 connections to the
//   API sit idle and 1,000 clients ask it at once.
// Needs root for the namespace.
#include "BenchTool.h"
#include "ProbesCounted.h"
#include "netlab/NetworkSandbox.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

constexpr int Devices = 10000;
constexpr int ApiPort = 9721;
constexpr int MetricsPort = 9722;

QByteArray deviceList()
{
    QByteArray text = "<DeviceEntries>\n";
    for (int i = 0; i < Devices; ++i)
        text += QStringLiteral("<DeviceEntry IP=\"127.1.%1.%2\" IASC=\"1\">Device %3</DeviceEntry>\n")
                    .arg(i / 250)
                    .arg(1 + i % 250)
                    .arg(i)
                    .toLatin1();
    return text + "</DeviceEntries>\n";
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString whyNot;
    if (!NetworkSandbox::enter(&whyNot)) {
        std::fprintf(stderr, "bench_api: %s\n", qPrintable(whyNot));
        return 1;
    }
    QTemporaryDir folder;
    const QByteArray settings = "<Settings><ProbePeriod>10</ProbePeriod><MetricsAddress>"
        + QByteArray::number(MetricsPort) + "</MetricsAddress><ApiAddress>" + QByteArray::number(ApiPort)
        + "</ApiAddress></Settings>\n";
    if (!folder.isValid() || !writeFile(folder.filePath(QStringLiteral("DeviceConfig.xml")), deviceList())
        || !writeFile(folder.filePath(QStringLiteral("Settings.xml")), settings)) {
        std::fprintf(stderr, "bench_api: cannot write the files\n");
        return 1;
    }
    QProcess program;
    program.setWorkingDirectory(folder.path());
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QStringLiteral(TARNWICK_HEADLESS_EXECUTABLE), {});
    QByteArray token;
    const bool started = runUntil(
        [&] {
            QFile file(folder.filePath(QStringLiteral("ApiToken")));
            token = file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
            return !token.isEmpty() && probesCounted(MetricsPort) >= 2 * Devices;
        },
        120000);
    if (!started) {
        std::fprintf(stderr, "bench_api: the program did not serve and probe every device in time\n");
        return 1;
    }
    const QByteArray authorisation = "Authorization: Bearer " + token + "\r\n";

    QList<double> askMs;
    qsizetype bytes = 0;
    for (int i = 0; i < 30; ++i) {
        QElapsedTimer timer;
        timer.start();
        bytes = httpGet(ApiPort, "/api/v1/devices", authorisation).size();
        askMs << double(timer.nsecsElapsed()) / 1e6;
        runFor(100);
    }
    const double worstAsk = *std::max_element(askMs.cbegin(), askMs.cend());

    QList<double> asked;
    QList<double> alone;
    std::atomic<qint64> answered{0};
    for (int round = 0; round < 6; ++round) {
        const bool asking = round % 2 == 0;
        std::atomic<bool> going{asking};
        std::thread client([&] {
            auto next = std::chrono::steady_clock::now();
            while (going) {
                if (!httpGet(ApiPort, "/api/v1/devices", authorisation).isEmpty())
                    ++answered;
                next += std::chrono::milliseconds(100);
                std::this_thread::sleep_until(next);
            }
        });
        const qint64 before = probesCounted(MetricsPort);
        QElapsedTimer timer;
        timer.start();
        runFor(30000);
        const double perSecond = double(probesCounted(MetricsPort) - before) * 1000.0 / double(timer.elapsed());
        going = false;
        client.join();
        (asking ? asked : alone) << perSecond;
    }
    // The crowd: idle connections hold the API's threads, a thousand requests wait behind them.
    std::vector<int> idle;
    for (int i = 0; i < 200; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(ApiPort);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            idle.push_back(fd);
        else if (fd >= 0)
            ::close(fd);
    }
    std::vector<std::thread> crowd;
    for (int i = 0; i < 1000; ++i)
        crowd.emplace_back([&] { httpGet(ApiPort, "/api/v1/devices", authorisation); });
    double worstScrape = 0;
    const qint64 stormBefore = probesCounted(MetricsPort);
    QElapsedTimer storm;
    storm.start();
    while (storm.elapsed() < 10000) {
        QElapsedTimer scrape;
        scrape.start();
        probesCounted(MetricsPort);
        worstScrape = std::max(worstScrape, double(scrape.nsecsElapsed()) / 1e6);
        runFor(500);
    }
    const double stormPerSecond = double(probesCounted(MetricsPort) - stormBefore) * 1000.0 / double(storm.elapsed());
    for (const int fd : idle)
        ::close(fd);
    for (std::thread& client : crowd)
        client.join();
    program.terminate();
    program.waitForFinished(30000);

    const double with = median(asked);
    const double without = median(alone);
    std::printf("%d devices: GET /api/v1/devices takes %.1f ms (median of 30, worst %.1f ms), %.0f kB\n", Devices,
                median(askMs), worstAsk, double(bytes) / 1000.0);
    std::printf("probes/s: %.0f while asked 10 times a second (%lld answers), %.0f while nobody asks\n", with,
                static_cast<long long>(answered.load()), without);
    std::printf("during %zu idle connections and 1,000 requests at once: %.0f probes/s, slowest scrape %.0f ms\n",
                idle.size(), stormPerSecond, worstScrape);
    std::printf("@ api_storm_per_s %.0f\n@ api_storm_scrape_ms %.0f\n@ api_storm_idle %zu\n", stormPerSecond,
                worstScrape, idle.size());
    std::printf("@ api_devices_ms %.1f\n@ api_devices_worst_ms %.1f\n@ api_devices_kb %.0f\n@ api_asked_per_s %.0f\n"
                "@ api_alone_per_s %.0f\n@ api_answers %lld\n",
                median(askMs), worstAsk, double(bytes) / 1000.0, with, without,
                static_cast<long long>(answered.load()));
    return bytes > 0 ? 0 : 1;
}
