// SPDX-License-Identifier: GPL-3.0-or-later
// The CPU the shipped program spends on probing, inside a namespace network of its own whose
// peer answers every address of 10.90.0.0/15: the headless tarnwick, with its history and its
// metrics on, probes 1,000, 2,500, 5,000 and 20,000 answering devices every 1 s (the last two at
// the default ceiling of 5,000 requests a second), and 20,000 every 1 s again with the ceiling
// raised to 30,000; beside each, fping -l -Q 3600 loops over the same targets at the same pace as
// the program's engine (-p the period, -i its interval between requests), and beside the last
// at its fastest (-i 0) over 6,000 of them; that last pair once more with both held to one CPU
// (taskset), so that neither pays for threads that share the machine's cores with each other.
// The two run in turn, three times each, and the medians of their CPU time per 1,000 probes are
// printed. The program's
// probes are counted from its own metrics, fping's from its closing summary. Last, a discovery
// of the /16 10.90.0.0/16 (every address answering) by tarnwick --scan --rate 1000000 beside
// fping -i 0 -r 0 -a -q -g over the same /16, three times each in turn: the seconds each takes
// and the hosts each finds. Needs root.
//   bench_cpu [program]     (default: the tarnwick of this build; another build's, to compare)
#include "BenchTool.h"
#include "ProbesCounted.h"
#include "WatchingProgram.h"
#include "net/ProbeRate.h"
#include "netlab/NetworkSandbox.h"
#include "netlab/PeerNetwork.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int Rounds = 3;
constexpr int Port = 9717;

struct Case
{
    const char* key;
    int devices;
    int periodS;
    int ceiling; // requests a second
    // fping's targets, the first of the devices' (0: all of them), and its interval in ms
    // (negative: the engine's).
    int fpingTargets = 0;
    double fpingIntervalMs = -1;
    // Both run on the last CPU alone.
    bool oneCpu = false;
};
// fping's loop keeps each sequence number for 10 s, so it cannot send more than 65,535 in that
// time: beside 20,000 requests a second it runs at its fastest (-i 0) over as many targets as a
// second of that allows.
constexpr Case Cases[] = {{"1000", 1000, 1, 5000},
                          {"2500", 2500, 1, 5000},
                          {"5000", 5000, 1, 5000},
                          {"20000", 20000, 1, 5000},
                          {"fast", 20000, 1, 30000, 6000, 0},
                          {"fast1cpu", 20000, 1, 30000, 6000, 0, true}};

// What runs a command on the last CPU alone: taskset runs it in its own place, with its pid.
QStringList onOneCpu(const Case& c, const QString& program, const QStringList& arguments)
{
    if (!c.oneCpu)
        return QStringList{program} + arguments;
    return QStringList{"taskset", "-c", QString::number(::sysconf(_SC_NPROCESSORS_ONLN) - 1), program} + arguments;
}

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

// Hosts 1 to 250 of each /24 of 10.90.0.0/15, as many as asked.
QStringList targetsOf(int count)
{
    QStringList targets;
    for (int i = 0; i < count; ++i) {
        const int net = i / 250;
        targets << QStringLiteral("10.%1.%2.%3").arg(90 + net / 256).arg(net % 256).arg(1 + i % 250);
    }
    return targets;
}

struct Measured
{
    double cpuPerThousand = -1;
    double probesPerSecond = 0;
};

// Both measure over two rounds of the list at least, and ten seconds.
int measureSeconds(const Case& c)
{
    return std::max(10, 2 * int(Tarnwick::ProbeRate::effectivePeriodMs(c.devices, c.periodS * 1000, c.ceiling) / 1000));
}

Measured runProgram(const QString& executable, const Case& c)
{
    const QStringList command = onOneCpu(c, executable, {"--headless", "--metrics", QString::number(Port)});
    WatchingProgram program(command.first(), command.mid(1), targetsOf(c.devices),
                            QStringLiteral("<PingTimeout>1000</PingTimeout><ProbePeriod>%1</ProbePeriod>"
                                           "<MostProbesPerSecond>%2</MostProbesPerSecond>")
                                .arg(c.periodS)
                                .arg(c.ceiling)
                                .toUtf8(),
                            Port);
    // Settled: every device probed twice, and the history has its devices.
    if (!program.probed(2 * qint64(c.devices), 120000))
        return {};
    const qint64 probesBefore = probesCounted(Port);
    const double cpuBefore = cpuMs(program.pid());
    QElapsedTimer window;
    window.start();
    runFor(measureSeconds(c) * 1000);
    const double cpu = cpuMs(program.pid()) - cpuBefore;
    const qint64 probes = probesCounted(Port) - probesBefore;
    const double seconds = double(window.elapsed()) / 1000;
    if (!program.end() || cpuBefore < 0 || probes <= 0)
        return {};
    return {cpu * 1000 / double(probes), double(probes) / seconds};
}

QStringList fpingArguments(const Case& c)
{
    const double intervalMs = c.fpingIntervalMs >= 0
        ? c.fpingIntervalMs
        : double(Tarnwick::ProbeRate::intervalNs(c.devices, c.periodS * 1000, c.ceiling)) / 1e6;
    return {"-l", "-Q", "3600", "-p", QString::number(c.periodS * 1000), "-i", QString::number(intervalMs, 'f', 4)};
}

Measured runFping(const Case& c, const QString& targetsFile)
{
    QProcess fping;
    const QStringList command = onOneCpu(c, QStringLiteral("fping"),
                                         fpingArguments(c) + QStringList{"-f", targetsFile});
    fping.start(command.first(), command.mid(1));
    if (!fping.waitForStarted(10000))
        return {};
    QElapsedTimer window;
    window.start();
    runFor(measureSeconds(c) * 1000);
    const double cpu = cpuMs(fping.processId());
    const double seconds = double(window.elapsed()) / 1000;
    if (fping.processId() <= 0)
        return {};
    ::kill(pid_t(fping.processId()), SIGINT);
    fping.waitForFinished(60000);
    // Its summary: "<target> : xmt/rcv/%loss = 20/20/0%" for each.
    qint64 probes = 0;
    static const QRegularExpression sent(QStringLiteral(" = (\\d+)/"));
    for (const QString& line : QString::fromUtf8(fping.readAllStandardError()).split(QLatin1Char('\n'))) {
        if (const QRegularExpressionMatch match = sent.match(line); match.hasMatch())
            probes += match.captured(1).toLongLong();
    }
    if (cpu < 0 || probes <= 0)
        return {};
    return {cpu * 1000 / double(probes), double(probes) / seconds};
}

// The most --rate takes: as fast as the machine sends, like fping -i 0.
constexpr int ScanRate = 1000000;

struct Scan
{
    double seconds = -1;
    int found = 0;
};

// The seconds a command takes, and the lines of its output that match found.
Scan timed(const QString& program, const QStringList& arguments, const QRegularExpression& found)
{
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    if (!process.waitForStarted(10000) || !process.waitForFinished(120000))
        return {};
    Scan scan{double(clock.nsecsElapsed()) / 1e9, 0};
    for (const QByteArray& line : process.readAllStandardOutput().split('\n'))
        scan.found += found.match(QString::fromUtf8(line)).hasMatch() ? 1 : 0;
    return scan;
}

QStringList fpingScanArguments()
{
    return {"-i", "0", "-r", "0", "-t", "1000", "-a", "-q", "-g", "10.90.0.0/16"};
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
    // The peer answers every address of the /15 as its own.
    QProcess route;
    route.start(QStringLiteral("ip"), {"route", "add", "10.90.0.0/15", "via", "10.80.255.2"});
    if (!network.runInside({"ip", "route", "add", "local", "10.90.0.0/15", "dev", "lo"})
        || !route.waitForFinished(10000) || route.exitCode() != 0) {
        std::fprintf(stderr, "bench_cpu: could not set up the answering /15\n");
        return 1;
    }
    const QString executable = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(TARNWICK_EXECUTABLE);
    QTemporaryDir dir;
    for (const Case& c : Cases) {
        const QString targetsFile = dir.filePath(QStringLiteral("targets-%1").arg(QLatin1String(c.key)));
        writeFile(targetsFile,
                  targetsOf(c.fpingTargets ? c.fpingTargets : c.devices).join(QLatin1Char('\n')).toUtf8() + '\n');
        QList<double> ours;
        QList<double> theirs;
        QList<double> rates;
        QList<double> theirRates;
        for (int round = 0; round < Rounds; ++round) {
            const Measured program = runProgram(executable, c);
            const Measured fping = runFping(c, targetsFile);
            if (program.cpuPerThousand < 0 || fping.cpuPerThousand < 0) {
                std::fprintf(stderr, "bench_cpu: %s did not run as it should with %d devices\n",
                             program.cpuPerThousand < 0 ? "the program" : "fping", c.devices);
                return 1;
            }
            std::printf("%d devices every %d s, round %d: tarnwick %.1f ms per 1,000 probes (%.0f/s), fping %s: %.1f "
                        "ms (%.0f/s)\n",
                        c.devices, c.periodS, round + 1, program.cpuPerThousand, program.probesPerSecond,
                        qPrintable(fpingArguments(c).join(QLatin1Char(' '))), fping.cpuPerThousand,
                        fping.probesPerSecond);
            std::fflush(stdout);
            ours << program.cpuPerThousand;
            theirs << fping.cpuPerThousand;
            rates << program.probesPerSecond;
            theirRates << fping.probesPerSecond;
        }
        std::printf("@ cpu_%s_ms %.2f\n@ fping_%s_ms %.2f\n@ rate_%s_per_s %.0f\n@ fping_rate_%s_per_s %.0f\n"
                    "@ fping_interval_%s_ms %s\n",
                    c.key, median(ours), c.key, median(theirs), c.key, median(rates), c.key, median(theirRates), c.key,
                    qPrintable(fpingArguments(c).last()));
    }

    QList<double> ourScans;
    QList<double> theirScans;
    int ourFound = 0;
    int theirFound = 0;
    for (int round = 0; round < Rounds; ++round) {
        static const QRegularExpression answered(QStringLiteral("\t[0-9.]+ ms$"));
        static const QRegularExpression alive(QStringLiteral("^10\\.90\\."));
        const Scan ours = timed(executable, {"--scan", "10.90.0.0/16", "--rate", QString::number(ScanRate)}, answered);
        const Scan theirs = timed(QStringLiteral("fping"), fpingScanArguments(), alive);
        if (ours.seconds < 0 || theirs.seconds < 0) {
            std::fprintf(stderr, "bench_cpu: the /16 discovery did not run as it should\n");
            return 1;
        }
        std::printf("/16 discovery, round %d: tarnwick --scan --rate %d %.2f s, %d found; fping %s %.2f s, %d found\n",
                    round + 1, ScanRate, ours.seconds, ours.found,
                    qPrintable(fpingScanArguments().join(QLatin1Char(' '))), theirs.seconds, theirs.found);
        ourScans << ours.seconds;
        theirScans << theirs.seconds;
        ourFound = ours.found;
        theirFound = theirs.found;
    }
    std::printf("@ scan16_s %.3f\n@ scan16_found %d\n@ fping_scan16_s %.3f\n@ fping_scan16_found %d\n",
                median(ourScans), ourFound, median(theirScans), theirFound);
    return 0;
}
