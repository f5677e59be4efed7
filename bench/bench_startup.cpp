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
#include "net/ProbeRate.h"
#include "netlab/NetworkSandbox.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdio>

namespace {

constexpr int MetricsPort = 9718;

bool writeDeviceList(const QString& path, int count)
{
    QByteArray text = "<DeviceEntries>\n";
    for (int i = 0; i < count; ++i)
        text += QStringLiteral("<DeviceEntry IP=\"127.%1.%2.%3\"/>\n")
                    .arg(1 + i / 65536)
                    .arg((i / 256) % 256)
                    .arg(i % 256)
                    .toLatin1();
    text += "</DeviceEntries>\n";
    return writeFile(path, text);
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
    {
        m_dir.setAutoRemove(true);
        writeDeviceList(m_dir.filePath(QStringLiteral("DeviceConfig.xml")), devices);
        QStringList arguments;
        if (monitored) {
            writeFile(m_dir.filePath(QStringLiteral("Settings.xml")),
                      "<Settings><PingTimeout>1000</PingTimeout><ProbePeriod>1</ProbePeriod></Settings>");
            arguments << QStringLiteral("--metrics") << QString::number(MetricsPort);
        }
        m_program.setWorkingDirectory(m_dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_program.setProcessEnvironment(env);
        m_program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_program.setStandardOutputFile(QProcess::nullDevice());
        m_clock.start();
        m_program.start(program == Program::Server ? QStringLiteral(TARNWICK_HEADLESS_EXECUTABLE)
                                                   : QStringLiteral(TARNWICK_EXECUTABLE),
                        arguments);
        m_program.waitForStarted(10000);
    }
    ~ProgramStart()
    {
        if (m_program.state() != QProcess::NotRunning) {
            m_program.kill();
            m_program.waitForFinished(10000);
        }
    }

    qint64 pid() const { return m_program.processId(); }
    double elapsedMs() const { return double(m_clock.nsecsElapsed()) / 1e6; }

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

    // The resident memory, in MB, once every one of the devices has been probed at least twice;
    // -1 if that never came within two minutes. The memory is read before the metrics that
    // confirm it, whose page is large at 100,000 devices.
    double residentMbOnceProbedTwice(int devices)
    {
        const qint64 roundMs = std::max<qint64>(1000, Tarnwick::ProbeRate::effectivePeriodMs(devices, 1000));
        QThread::msleep(unsigned(2 * roundMs + 2000));
        while (elapsedMs() < 120000) {
            const double mb = double(residentKb(pid())) / 1024.0;
            if (devices == 0 || probesCounted(MetricsPort) >= 2 * qint64(devices))
                return mb;
            QThread::msleep(2000);
        }
        return -1;
    }

    // Milliseconds from SIGTERM to a clean end of the program; -1 if it did not end cleanly.
    double quitMs()
    {
        // A process gone has no id: kill(0) would end the whole process group, the bench's own.
        if (pid() <= 0)
            return -1;
        QElapsedTimer timer;
        timer.start();
        ::kill(pid_t(pid()), SIGTERM);
        if (!m_program.waitForFinished(60000) || m_program.exitStatus() != QProcess::NormalExit
            || m_program.exitCode() != 0)
            return -1;
        return double(timer.nsecsElapsed()) / 1e6;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_program;
    QElapsedTimer m_clock;
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
