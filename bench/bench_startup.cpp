// SPDX-License-Identifier: GPL-3.0-or-later
// The shipped program started on long device lists, inside a network namespace of its own
// where every device is a loopback address (127.x.y.z) that answers:
// - with 100,000 devices, how long until the window is usable: until the GUI thread first
//   rests in its event loop (seen sleeping, its CPU time unchanged, for 100 ms running);
// - SIGTERM at several moments of that start-up: the longest time to the program's end;
// - SIGTERM once the window is usable with 10,000 devices (quitting in steady state);
// - the same three for the server program (tarnwick-headless): until its main thread rests in
//   its loop with 100,000 devices, SIGTERM during that start-up, and at rest with 10,000;
// - the resident memory of the window and of the server program at 0, 10,000 and 100,000
//   devices, each device probed every second (as often as the engine's ceiling allows) until
//   every one has been probed at least twice, as its metrics confirm, and again after scrapes of
//   those metrics one second apart (100 of the server program's at 10,000 and 100,000 devices,
//   10 otherwise).
// Needs root for the namespace.
#include "BenchTool.h"
#include "ProbesCounted.h"
#include "WatchingProgram.h"
#include "net/ProbeRate.h"
#include "netlab/NetworkSandbox.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int MetricsPort = 9718;

QStringList loopbackDevices(int count)
{
    QStringList devices;
    devices.reserve(count);
    for (int i = 0; i < count; ++i)
        devices << QStringLiteral("127.%1.%2.%3").arg(1 + i / 65536).arg((i / 256) % 256).arg(i % 256);
    return devices;
}

// The GUI thread's state letter and CPU ticks, from /proc; state 0 once the process is gone.
struct ThreadSample
{
    char state = 0;
    qint64 ticks = 0;
};

ThreadSample sampleMainThread(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/task/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = stat.readAll();
    // After the command name in parentheses: state, then fields 4 to 13, then utime and stime.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return {};
    return {fields[0].at(0), fields[11].toLongLong() + fields[12].toLongLong()};
}

qint64 residentKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// The desktop program with its window, or the server program.
enum class Program { Window, Server };

class ProgramStart
{
public:
    // monitored: every device probed every second, with metrics on to count the probes.
    ProgramStart(int devices, Program program, bool monitored = false)
        : m_program(program == Program::Server ? QStringLiteral(TARNWICK_HEADLESS_EXECUTABLE)
                                               : QStringLiteral(TARNWICK_EXECUTABLE),
                    monitored ? QStringList{QStringLiteral("--metrics"), QString::number(MetricsPort)} : QStringList(),
                    loopbackDevices(devices),
                    monitored ? QByteArray("<PingTimeout>1000</PingTimeout><ProbePeriod>1</ProbePeriod>")
                              : QByteArray(),
                    MetricsPort)
    {
    }

    qint64 pid() const { return m_program.pid(); }
    double elapsedMs() const { return m_program.elapsedMs(); }

    // Milliseconds from the start until the GUI thread rests in its loop; -1 if it never did
    // within a minute.
    double untilAtRest()
    {
        int restingSamples = 0;
        ThreadSample last = sampleMainThread(pid());
        while (elapsedMs() < 60000) {
            QThread::msleep(10);
            const ThreadSample now = sampleMainThread(pid());
            if (now.state == 0)
                return -1;
            restingSamples = now.state == 'S' && now.ticks == last.ticks ? restingSamples + 1 : 0;
            last = now;
            if (restingSamples == 10)
                return elapsedMs() - 100;
        }
        return -1;
    }

    // The resident memory, in MB, after two rounds and a half, before any scrape of the metrics;
    // -1 if those metrics do not then confirm, within two minutes of the start, that every device
    // was probed at least twice. Only the first reading counts: the scrape that confirms renders a
    // page that is large at 100,000 devices, and the memory it gives back would flatter the
    // comparison with the memory after the scrapes.
    double residentMbOnceProbedTwice(int devices)
    {
        const qint64 roundMs = std::max<qint64>(1000, Tarnwick::ProbeRate::effectivePeriodMs(devices, 1000));
        QThread::msleep(unsigned(2 * roundMs + roundMs / 2 + 2000));
        const double unscrapedMb = double(residentKb(pid())) / 1024.0;
        while (elapsedMs() < 120000) {
            if (devices == 0 || probesCounted(MetricsPort) >= 2 * qint64(devices))
                return unscrapedMb;
            QThread::msleep(2000);
        }
        return -1;
    }

    // Milliseconds from SIGTERM to a clean end of the program; -1 if it did not end cleanly.
    double quitMs()
    {
        QElapsedTimer timer;
        timer.start();
        return m_program.end() ? double(timer.nsecsElapsed()) / 1e6 : -1;
    }

private:
    WatchingProgram m_program;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString whyNot;
    if (!NetworkSandbox::enter(&whyNot)) {
        std::fprintf(stderr, "bench_startup: %s\n", qPrintable(whyNot));
        return 1;
    }
    for (const Program program : {Program::Window, Program::Server}) {
        const char* name = program == Program::Server ? "headless_" : "";
        double usable = 0;
        for (int round = 0; round < 2; ++round) {
            ProgramStart start(100000, program);
            const double atRest = start.untilAtRest();
            if (atRest < 0 || start.quitMs() < 0) {
                std::fprintf(stderr, "bench_startup: %s with 100,000 devices never came to rest or ended badly\n",
                             program == Program::Server ? "tarnwick-headless" : "the window");
                return 1;
            }
            usable = std::max(usable, atRest);
        }
        double worstQuit = 0;
        for (const int moment : {100, 300, 600, 1000, 1500, 2000, 3000}) {
            ProgramStart start(100000, program);
            while (start.elapsedMs() < moment)
                QThread::msleep(5);
            const double quit = start.quitMs();
            std::printf("%s: SIGTERM %d ms into the start-up with 100,000 devices: ended after %.0f ms\n",
                        program == Program::Server ? "tarnwick-headless" : "tarnwick", moment, quit);
            if (quit < 0)
                return 1;
            worstQuit = std::max(worstQuit, quit);
        }
        double steadyQuit = 0;
        for (int round = 0; round < 3; ++round) {
            ProgramStart start(10000, program);
            if (start.untilAtRest() < 0)
                return 1;
            steadyQuit = std::max(steadyQuit, start.quitMs());
        }
        std::printf(
            "@ startup_%susable_100000_ms %.0f\n@ startup_%squit_100000_ms %.0f\n@ quit_%ssteady_10000_ms %.0f\n", name,
            usable, name, worstQuit, name, steadyQuit);
    }

    for (const Program program : {Program::Window, Program::Server}) {
        for (const int devices : {0, 10000, 100000}) {
            ProgramStart start(devices, program, true);
            const double before = start.residentMbOnceProbedTwice(devices);
            if (before < 0) {
                std::fprintf(stderr, "bench_startup: %d devices were not all probed twice within two minutes\n",
                             devices);
                return 1;
            }
            // Scraped as Prometheus does, gzipped, once a second: the memory a device costs is
            // what the program holds after that, and a page rendered over and over must leave
            // the server program's memory where it was.
            const char* name = program == Program::Server ? "headless" : "window";
            const int scrapes = program == Program::Server && devices > 0 ? 100 : 10;
            for (int scrape = 0; scrape < scrapes; ++scrape) {
                httpGet(MetricsPort, "/metrics", "Accept-Encoding: gzip\r\n");
                QThread::msleep(1000);
            }
            const double after = double(residentKb(start.pid())) / 1024.0;
            std::printf("%s, %d devices: %.1f MB before any scrape of /metrics, %.1f MB after %d one second apart\n",
                        name, devices, before, after, scrapes);
            std::printf("@ memory_%s_%d_unscraped_mb %.1f\n@ memory_%s_%d_mb %.1f\n", name, devices, before, name,
                        devices, after);
            start.quitMs();
        }
    }
    return 0;
}
