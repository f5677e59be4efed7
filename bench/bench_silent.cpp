// SPDX-License-Identifier: GPL-3.0-or-later
// The cost of silent hosts, which are what users meet, inside a namespace network of its own:
// a /24 with 5 answering hosts and 249 silent addresses, time-out 1000 ms.
// - Discovery of the /24 with "tarnwick --scan --full-wait", every silent address given the whole
//   time-out, next to fping -a -q -i 1 -t 1000 -r 0 -g on the same addresses in the same run.
// - The same discovery as a quick scan (the default: silent addresses given up after ten times
//   the slowest answer), next to nmap -sn -PE -n --max-retries 0, which adapts its waits to the
//   round trips too: 3 runs of each, taken in turn, medians.
// - One round of the monitor (every device every second) over 20 devices of which 15 are
//   silent, next to fping -q -c 1 -i 1 -r 0 -t 1000 on the same targets (the same pace and time-out).
// Needs root.
#include "../tests/common/RunningPinger.h"
#include "BenchTool.h"
#include "data/Data.h"
#include "data/Settings.h"
#include "net/NameResolver.h"
#include "net/PingerThread.h"
#include "net/ProbeEngine.h"
#include "netlab/NetworkSandbox.h"
#include "netlab/PeerNetwork.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <climits>
#include <cstdio>

using namespace Tarnwick;

namespace {

const QString Prefix = QStringLiteral("10.77.1");
const QList<int> Answering = {10, 20, 30, 40, 50};
constexpr int Runs = 3;

// The hosts a tool found in its output, by the pattern whose first group counts them; -1 when
// the tool did not end normally or printed no count.
int found(const ToolRun& run, const QString& pattern)
{
    const QRegularExpressionMatch match = QRegularExpression(pattern).match(QString::fromUtf8(run.output));
    return run.seconds >= 0 && match.hasMatch() ? match.captured(1).toInt() : -1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString whyNot;
    PeerNetwork network;
    if (!NetworkSandbox::enter(&whyNot) || !network.start(Prefix, Answering, &whyNot)) {
        std::fprintf(stderr, "bench_silent: %s\n", qPrintable(whyNot));
        return 1;
    }
    NameResolver resolver;
    ProbeEngine engine(resolver);
    const QString first = Prefix + QStringLiteral(".1");
    const QString last = Prefix + QStringLiteral(".254");

    // Discovery of the /24, every silent address given the whole time-out.
    const QString scanActive = QStringLiteral("Search completed\\. Active: (\\d+)/254");
    const ToolRun full = runTool(QStringLiteral(TARNWICK_EXECUTABLE), {"--scan", first, last, "--full-wait"});
    const int fullActive = found(full, scanActive);
    // Like for like: one request a millisecond, a second each, no retry, as the scan does.
    const QStringList fpingArguments = {"-a", "-q", "-i", "1", "-t", "1000", "-r", "0", "-g", first, last};
    const ToolRun fping = runTool(QStringLiteral("fping"), fpingArguments);
    std::printf("discovery of %s.1-254: tarnwick --scan --full-wait %d active in %.2f s; fping %s: %d in %.2f s\n",
                qPrintable(Prefix), fullActive, full.seconds, qPrintable(fpingArguments.join(QLatin1Char(' '))),
                int(fping.output.count('\n')), fping.seconds);
    if (fullActive >= 0)
        std::printf("@ discovery_s %.3f\n@ discovery_active %d\n", full.seconds, fullActive);
    if (fping.seconds >= 0)
        std::printf("@ fping_discovery_s %.3f\n@ fping_discovery_active %d\n", fping.seconds,
                    int(fping.output.count('\n')));

    // The quick scan and nmap in turn; for each, the fewest hosts it found in a run counts.
    const QStringList nmapArguments = {"-sn", "-PE", "-n", "--max-retries", "0", Prefix + ".1-254"};
    QList<double> quickSeconds;
    QList<double> nmapSeconds;
    int quickActive = INT_MAX;
    int nmapUp = INT_MAX;
    for (int run = 0; run < Runs && quickActive >= 0 && nmapUp >= 0; ++run) {
        const ToolRun quick = runTool(QStringLiteral(TARNWICK_EXECUTABLE), {"--scan", first, last});
        const ToolRun nmap = runTool(QStringLiteral("nmap"), nmapArguments);
        const int quickFound = found(quick, scanActive);
        const int nmapFound = found(nmap, QStringLiteral("\\((\\d+) hosts? up\\)"));
        std::printf("run %d: tarnwick --scan %d active in %.3f s; nmap %s: %d up in %.3f s\n", run + 1, quickFound,
                    quick.seconds, qPrintable(nmapArguments.join(QLatin1Char(' '))), nmapFound, nmap.seconds);
        quickSeconds << quick.seconds;
        nmapSeconds << nmap.seconds;
        quickActive = std::min(quickActive, quickFound);
        nmapUp = std::min(nmapUp, nmapFound);
    }
    // A run that failed leaves its figures out, which fails the table.
    if (quickActive >= 0)
        std::printf("@ quick_discovery_s %.3f\n@ quick_discovery_active %d\n", median(quickSeconds), quickActive);
    if (nmapUp >= 0)
        std::printf("@ nmap_discovery_s %.3f\n@ nmap_discovery_active %d\n", median(nmapSeconds), nmapUp);

    // One round of the monitor over 20 devices, 15 of them silent: every device every second.
    {
        Settings& settings = Settings::instance();
        settings.load(QStringLiteral("/nonexistent/Settings.xml"));
        settings.probePeriod = 1;
        Data data;
        QStringList targets;
        for (int host : Answering)
            targets << network.address(host);
        for (int host = 100; host < 115; ++host)
            targets << network.address(host);
        for (const QString& ip : targets)
            data.addEntry(DeviceEntry(ip, QString(), DeviceTypePC, false, NoReplyResult));
        Data::setInstance(&data);
        QSet<QString> probed;
        QObject::connect(&data, &Data::DeviceEntryChanged, &app, [&](DeviceEntryChangedEvent* event) {
            probed.insert(event->newEntry().ip);
            if (probed.size() == targets.size())
                QCoreApplication::quit();
        });
        QElapsedTimer timer;
        timer.start();
        startPinger(NetworkProbe::overNetwork(engine));
        app.exec();
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        stopPinger();
        QCoreApplication::sendPostedEvents();
        Data::setInstance(nullptr);
        const ToolRun fpingPass = runTool(QStringLiteral("fping"),
                                          QStringList{"-q", "-c", "1", "-i", "1", "-r", "0", "-t", "1000"} + targets);
        std::printf("monitor round over 20 devices, 15 silent: %.2f s; fping -c 1: %.2f s\n", seconds,
                    fpingPass.seconds);
        std::printf("@ monitor_pass_s %.3f\n@ fping_pass_s %.3f\n", seconds, fpingPass.seconds);
    }
    return 0;
}
