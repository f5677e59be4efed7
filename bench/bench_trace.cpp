// SPDX-License-Identifier: GPL-3.0-or-later
// "tarnwick --trace" through a chain of three routers (netlab/router-chain, in namespaces of its
// own) beside traceroute -n -I and mtr -r -n -c 1 to the same host from the same namespace, runs
// alternating, five each: once with every router answering, once with the second router silent
// (it sends no "time exceeded"). Prints the median wall time of each and whether --trace listed
// the hops traceroute did. Needs root.
#include "BenchTool.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <cstdio>

namespace {

const QString Chain = QStringLiteral(TARNWICK_SOURCE_DIR "/netlab/router-chain");
const QString Name = QStringLiteral("tw-bt");
const QString Lab = Name + QStringLiteral("-lab");
const QString Destination = QStringLiteral("10.81.3.7");

ToolRun inLab(const QString& program, const QStringList& arguments)
{
    return runTool(QStringLiteral("ip"), QStringList{"netns", "exec", Lab, program} + arguments);
}

// "hop address" for each answering hop of a traceroute-shaped output.
QStringList hopsOf(const QByteArray& output)
{
    static const QRegularExpression line(QStringLiteral("^ ?(\\d+)  (?:[^ ]+ \\(([^)]+)\\)|([^ *]+))"),
                                         QRegularExpression::MultilineOption);
    QStringList hops;
    for (auto it = line.globalMatch(QString::fromUtf8(output)); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        hops << match.captured(1) + QLatin1Char(' ') + match.captured(2) + match.captured(3);
    }
    return hops;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (runTool(Chain, {"up", Name}).seconds < 0) {
        std::fprintf(stderr, "bench_trace: the router chain could not be made\n");
        runTool(Chain, {"down", Name});
        return 1;
    }
    // Neighbours found on every link before the first timed run.
    inLab(QStringLiteral("ping"), {"-q", "-c", "1", "-W", "5", Destination});
    bool same = true;
    for (const bool silent : {false, true}) {
        if (silent)
            runTool(Chain, {"silence", Name, "r2"});
        QList<double> ours, traceroute, mtr;
        for (int run = 0; run < 5; ++run) {
            const ToolRun trace = inLab(QStringLiteral(TARNWICK_HEADLESS_EXECUTABLE), {"--trace", Destination});
            const ToolRun peer = inLab(QStringLiteral("traceroute"), {"-n", "-I", Destination});
            const ToolRun other = inLab(QStringLiteral("mtr"), {"-r", "-n", "-c", "1", Destination});
            ours << trace.seconds;
            traceroute << peer.seconds;
            mtr << other.seconds;
            same = same && !hopsOf(trace.output).isEmpty() && hopsOf(trace.output) == hopsOf(peer.output);
        }
        const char* key = silent ? "_silent" : "";
        std::printf("@ trace%s_s %.3f\n@ traceroute%s_s %.3f\n@ mtr%s_s %.3f\n", key, median(ours), key,
                    median(traceroute), key, median(mtr));
    }
    std::printf("@ trace_hops_match %d\n", same ? 1 : 0);
    runTool(Chain, {"down", Name});
    return 0;
}
