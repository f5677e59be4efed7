// SPDX-License-Identifier: GPL-3.0-or-later
// IPv6 discovery inside a namespace network of its own: fd77:6:1::1 to fd77:6:1::fe, 5 hosts
// answering and 249 addresses silent, time-out 1000 ms, with "tarnwick --scan --full-wait" next
// to fping -6 on the same addresses in the same run (one request a millisecond, a whole second
// each, no retry, 40 bytes of data as ours carry). Needs root.
#include "BenchTool.h"
#include "netlab/NetworkSandbox.h"
#include "netlab/PeerNetwork.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <cstdio>

namespace {

const QList<int> Answering = {10, 20, 30, 40, 50};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString whyNot;
    PeerNetwork network;
    if (!NetworkSandbox::enter(&whyNot) || !network.start(QStringLiteral("10.77.6"), {}, &whyNot)
        || !network.addIpv6(QStringLiteral("fd77:6"), {}, &whyNot)) {
        std::fprintf(stderr, "bench_ipv6: %s\n", qPrintable(whyNot));
        return 1;
    }
    // The host parts are written in hexadecimal: hosts 10..50 are fd77:6:1::a and so on.
    QStringList targets;
    for (int host = 1; host <= 0xfe; ++host)
        targets << QStringLiteral("fd77:6:1::%1").arg(host, 0, 16);
    for (int host : Answering) {
        if (!network.runInside({"ip", "-6", "addr", "add", targets.at(host - 1) + "/128", "dev", "lo"})) {
            std::fprintf(stderr, "bench_ipv6: could not add host %d\n", host);
            return 1;
        }
    }

    const ToolRun ours = runTool(QStringLiteral(TARNWICK_EXECUTABLE),
                                 {"--scan", targets.first(), targets.last(), "--full-wait"});
    const int ourActive = QRegularExpression(QStringLiteral("Active: (\\d+)/254"))
                              .match(QString::fromUtf8(ours.output))
                              .captured(1)
                              .toInt();
    const QStringList fpingOptions = {"-6", "-a", "-q", "-i", "1", "-t", "1000", "-r", "0", "-b", "40"};
    const ToolRun fping = runTool(QStringLiteral("fping"), fpingOptions + targets);
    std::printf("discovery of %s to %s: tarnwick --scan --full-wait %d active in %.2f s; fping %s: %d in %.2f s\n",
                qPrintable(targets.first()), qPrintable(targets.last()), ourActive, ours.seconds,
                qPrintable(fpingOptions.join(QLatin1Char(' '))), int(fping.output.count('\n')), fping.seconds);
    if (ours.seconds >= 0 && ours.output.contains("Search completed"))
        std::printf("@ ipv6_scan_s %.3f\n@ ipv6_scan_active %d\n", ours.seconds, ourActive);
    if (fping.seconds >= 0)
        std::printf("@ fping6_scan_s %.3f\n@ fping6_scan_active %d\n", fping.seconds, int(fping.output.count('\n')));
    return 0;
}
