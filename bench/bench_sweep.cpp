// SPDX-License-Identifier: GPL-3.0-or-later
// One round of the network watch over a /22 on a veth link of a namespace network of its own,
// 5 hosts answering ARP: "tarnwick-headless --sweep" and arp-scan at the same pace (one request
// every 2 ms), three runs each, alternately. Each run's wall time, hosts found and the packets
// sent in its busiest second (the link's transmit counter, read every 5 ms). Needs root.
#include "BenchTool.h"
#include "netlab/NetworkSandbox.h"
#include "netlab/PeerNetwork.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

namespace {

const QString Network = QStringLiteral("10.78.4.0/22");
const QString Link = QStringLiteral("twlab0");

// The link's transmit counter, from /proc/net/dev, which shows this namespace's links (/sys
// shows those of the namespace that mounted it).
qint64 packetsSent()
{
    QFile table(QStringLiteral("/proc/net/dev"));
    if (!table.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        // "twlab0: rx bytes, packets, errs, drop, fifo, frame, compressed, multicast; tx bytes, packets, ..."
        if (fields.size() > 10 && fields.first() == Link.toLatin1() + ':')
            return fields.at(10).toLongLong();
    }
    return -1;
}

struct Run
{
    double seconds = -1;
    int found = 0;
    int busiestSecond = 0; // packets
};

// Runs the tool and reads the link's counter while it runs; found: the lines of hosts it printed.
Run measure(const QString& program, const QStringList& arguments)
{
    std::vector<std::pair<qint64, qint64>> samples; // ns, packets
    QProcess tool;
    QElapsedTimer clock;
    clock.start();
    tool.start(program, arguments);
    while (!tool.waitForFinished(5))
        samples.emplace_back(clock.nsecsElapsed(), packetsSent());
    if (tool.exitStatus() != QProcess::NormalExit)
        return {};
    Run run;
    run.seconds = double(clock.nsecsElapsed()) / 1e9;
    samples.emplace_back(clock.nsecsElapsed(), packetsSent());
    for (std::size_t first = 0, last = 0; first < samples.size(); ++first) {
        while (last + 1 < samples.size() && samples[last + 1].first - samples[first].first <= 1000000000)
            ++last;
        run.busiestSecond = std::max(run.busiestSecond, int(samples[last].second - samples[first].second));
    }
    for (const QByteArray& line : tool.readAllStandardOutput().split('\n'))
        run.found += line.startsWith("10.78.") ? 1 : 0;
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString whyNot;
    PeerNetwork network;
    // The /24 of the link's own is not swept; the /22 beside it holds the hosts, spread over it.
    bool ready = NetworkSandbox::enter(&whyNot) && network.startOnLink(QStringLiteral("10.78.9"), {}, &whyNot)
        && QProcess::execute(QStringLiteral("ip"), {"addr", "add", "10.78.7.254/22", "dev", Link}) == 0;
    for (const char* host : {"10.78.4.10", "10.78.5.0", "10.78.5.255", "10.78.6.20", "10.78.7.30"})
        ready = ready && network.runInside({"ip", "addr", "add", QString::fromLatin1(host) + "/22", "dev", "twlab1"});
    if (!ready) {
        std::fprintf(stderr, "bench_sweep: the network could not be set up: %s\n", qPrintable(whyNot));
        return 1;
    }
    QList<double> ours, theirs;
    Run worst, peer;
    for (int round = 0; round < 3; ++round) {
        const Run sweep = measure(QStringLiteral(TARNWICK_HEADLESS_EXECUTABLE), {"--sweep", Network});
        const Run arpScan = measure(QStringLiteral("arp-scan"), {"-x", "-r", "1", "--interval=2", "-I", Link, Network});
        if (sweep.seconds < 0 || arpScan.seconds < 0) {
            std::fprintf(stderr, "bench_sweep: a run failed\n");
            return 1;
        }
        std::printf("tarnwick-headless --sweep %s: %.3f s, %d found, busiest second %d packets; arp-scan: %.3f s, "
                    "%d found, busiest second %d packets\n",
                    qPrintable(Network), sweep.seconds, sweep.found, sweep.busiestSecond, arpScan.seconds,
                    arpScan.found, arpScan.busiestSecond);
        ours << sweep.seconds;
        theirs << arpScan.seconds;
        worst.found = round == 0 ? sweep.found : std::min(worst.found, sweep.found);
        worst.busiestSecond = std::max(worst.busiestSecond, sweep.busiestSecond);
        peer.found = arpScan.found;
        peer.busiestSecond = std::max(peer.busiestSecond, arpScan.busiestSecond);
    }
    std::printf("@ sweep_s %.3f\n@ sweep_found %d\n@ sweep_pps %d\n", median(ours), worst.found, worst.busiestSecond);
    std::printf("@ arpscan_s %.3f\n@ arpscan_found %d\n@ arpscan_pps %d\n", median(theirs), peer.found,
                peer.busiestSecond);
    return 0;
}
