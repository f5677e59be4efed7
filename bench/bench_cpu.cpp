// SPDX-License-Identifier: GPL-3.0-or-later
// The CPU the shipped program spends on probing, inside a namespace network of its own: the
// headless tarnwick, with its history and its metrics on, probes 2,500 answering devices every
// 1 s; then fping -l -p 1000 -i 1 loops over the same 2,500 targets. Prints each one's CPU time
// per 1,000 probes and their ratio. The program's probes are counted from its own metrics,
// fping's from its closing summary. Needs root.
//   bench_cpu [program]     (default: the tarnwick of this build; another build's, to compare)
#include "BenchTool.h"
#include "ProbesCounted.h"
#include "netlab/NetworkSandbox.h"
#include "netlab/PeerNetwork.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int Networks = 10;
constexpr int HostsEach = 250;
constexpr int MeasureSeconds = 20;
constexpr int Port = 9717;
const QStringList FpingArguments = {"-l", "-p", "1000", "-i", "1"};

// The process's user and system time so far, in milliseconds; -1 when it cannot be read.
double cpuMs(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    // The fields after the command's name, which is in parentheses and may hold spaces.
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return double(fields[11].toLongLong() + fields[12].toLongLong()) * 1000.0 / double(::sysconf(_SC_CLK_TCK));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString whyNot;
    PeerNetwork network;
    if (!NetworkSandbox::enter(&whyNot) || !network.start(QStringLiteral("10.80.1"), {}, &whyNot)) {
        std::fprintf(stderr, "bench_cpu: %s\n", qPrintable(whyNot));
        return 1;
    }
    // Ten /24s behind the one link, every host of them answering.
    QTemporaryDir dir;
    QByteArray hostsBatch;
    QStringList targets;
    for (int net = 1; net <= Networks; ++net) {
        for (int host = 1; host <= HostsEach; ++host) {
            targets << QStringLiteral("10.80.%1.%2").arg(net).arg(host);
            hostsBatch += "addr add " + targets.last().toUtf8() + "/32 dev lo\n";
        }
    }
    const QString batchFile = dir.filePath(QStringLiteral("hosts.ip"));
    QProcess route;
    route.start(QStringLiteral("ip"), {"route", "add", "10.80.0.0/16", "via", "10.80.255.2"});
    if (!writeFile(batchFile, hostsBatch) || !network.runInside({"ip", "-batch", batchFile})
        || !route.waitForFinished(10000) || route.exitCode() != 0) {
        std::fprintf(stderr, "bench_cpu: could not set up the %lld hosts\n", static_cast<long long>(targets.size()));
        return 1;
    }

    QByteArray devices = "<DeviceEntries>";
    for (const QString& ip : targets)
        devices += "<DeviceEntry IP=\"" + ip.toUtf8() + "\"/>";
    devices += "</DeviceEntries>";
    writeFile(dir.filePath(QStringLiteral("DeviceConfig.xml")), devices);
    writeFile(dir.filePath(QStringLiteral("Settings.xml")),
              "<Settings><PingTimeout>1000</PingTimeout><ProbePeriod>1</ProbePeriod></Settings>");
    QProcess program;
    program.setWorkingDirectory(dir.path());
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QString executable = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(TARNWICK_EXECUTABLE);
    program.start(executable, {"--headless", "--metrics", QString::number(Port)});
    if (!program.waitForStarted(10000)) {
        std::fprintf(stderr, "bench_cpu: %s\n", qPrintable(program.errorString()));
        return 1;
    }
    // Settled: every device probed twice, and the history has its devices.
    QElapsedTimer warmUp;
    warmUp.start();
    while (probesCounted(Port) < 2 * targets.size() && warmUp.elapsed() < 60000)
        runFor(500);
    const qint64 probesBefore = probesCounted(Port);
    const double cpuBefore = cpuMs(program.processId());
    QElapsedTimer window;
    window.start();
    runFor(MeasureSeconds * 1000);
    const double ourCpuMs = cpuMs(program.processId()) - cpuBefore;
    const qint64 ourProbes = probesCounted(Port) - probesBefore;
    const double seconds = double(window.elapsed()) / 1000;
    ::kill(pid_t(program.processId()), SIGTERM);
    if (!program.waitForFinished(30000) || program.exitCode() != 0 || cpuBefore < 0 || ourProbes <= 0) {
        std::fprintf(stderr, "bench_cpu: the program did not probe or end as it should\n");
        return 1;
    }

    QProcess fping;
    fping.start(QStringLiteral("fping"), FpingArguments + QStringList{"-q"} + targets);
    if (!fping.waitForStarted(10000)) {
        std::fprintf(stderr, "bench_cpu: fping: %s\n", qPrintable(fping.errorString()));
        return 1;
    }
    runFor(MeasureSeconds * 1000);
    const double fpingCpuMs = cpuMs(fping.processId());
    ::kill(pid_t(fping.processId()), SIGINT);
    fping.waitForFinished(30000);
    // Its summary: "<target> : xmt/rcv/%loss = 20/20/0%" for each.
    qint64 fpingProbes = 0;
    static const QRegularExpression sent(QStringLiteral(" = (\\d+)/"));
    for (const QString& line : QString::fromUtf8(fping.readAllStandardError()).split(QLatin1Char('\n'))) {
        if (const QRegularExpressionMatch match = sent.match(line); match.hasMatch())
            fpingProbes += match.captured(1).toLongLong();
    }
    if (fpingCpuMs < 0 || fpingProbes <= 0) {
        std::fprintf(stderr, "bench_cpu: fping did not run as it should\n");
        return 1;
    }

    const double ours = ourCpuMs * 1000 / double(ourProbes);
    const double theirs = fpingCpuMs * 1000 / double(fpingProbes);
    std::printf("headless tarnwick, history and metrics on, %lld devices every 1 s: %.0f probes/s, %.1f ms CPU per "
                "1,000 probes; fping %s: %lld probes in %d s, %.1f ms per 1,000; ratio %.2f\n",
                static_cast<long long>(targets.size()), double(ourProbes) / seconds, ours,
                qPrintable(FpingArguments.join(QLatin1Char(' '))), static_cast<long long>(fpingProbes), MeasureSeconds,
                theirs, ours / theirs);
    std::printf("@ headless_cpu_ms %.2f\n@ headless_probes_per_s %.0f\n@ fping_loop_cpu_ms %.2f\n", ours,
                double(ourProbes) / seconds, theirs);
    return 0;
}
