// SPDX-License-Identifier: GPL-3.0-or-later
// How long the program takes to end after SIGTERM while the network holds it up, inside a
// namespace of its own: once while a probe waits on a 30 s time-out, once while a name server
// never answers its look-up. Three times each; the longest counts. Needs root.
#include "BenchTool.h"
#include "netlab/EchoRequestWatch.h"
#include "netlab/HangingNameServer.h"
#include "netlab/NetworkSandbox.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <cstdio>

namespace {

HangingNameServer* s_nameServer = nullptr;

// Milliseconds from SIGTERM to the end of a program that watches the device; -1 on failure.
double quitWhileHeldUp(const QString& device, EchoRequestWatch& echo)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("Settings.xml")),
              "<Settings><PingTimeout>30000</PingTimeout><PingTimeGap>0</PingTimeGap></Settings>");
    writeFile(dir.filePath(QStringLiteral("DeviceConfig.xml")),
              "<DeviceEntries><DeviceEntry IP=\"" + device.toUtf8() + "\"/></DeviceEntries>");
    QProcess program;
    program.setWorkingDirectory(dir.path());
    program.setChildProcessModifier([] { s_nameServer->enterInChild(); });
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(env);
    s_nameServer->forgetQuestions();
    echo.forget();
    program.start(QStringLiteral(TARNWICK_EXECUTABLE), {});
    if (!program.waitForStarted(10000)) {
        std::fprintf(stderr, "bench_quit: %s\n", qPrintable(program.errorString()));
        return -1;
    }
    const bool heldUp = device.startsWith(QLatin1String("127.")) ? echo.seen(20000) : s_nameServer->questionSeen(20000);
    if (!heldUp) {
        std::fprintf(stderr, "bench_quit: no probe or look-up seen for %s\n", qPrintable(device));
        return -1;
    }
    QElapsedTimer timer;
    timer.start();
    ::kill(pid_t(program.processId()), SIGTERM);
    if (!program.waitForFinished(60000) || program.exitStatus() != QProcess::NormalExit || program.exitCode() != 0) {
        std::fprintf(stderr, "bench_quit: the program ended (%s) with status %d: %s\n",
                     program.exitStatus() == QProcess::NormalExit ? "normal" : "crash", program.exitCode(),
                     program.readAll().constData());
        return -1;
    }
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString whyNot;
    HangingNameServer nameServer;
    s_nameServer = &nameServer;
    if (!NetworkSandbox::enter(&whyNot) || !nameServer.start(&whyNot)) {
        std::fprintf(stderr, "bench_quit: %s\n", qPrintable(whyNot));
        return 1;
    }
    NetworkSandbox::setSysctl(QStringLiteral("net/ipv4/icmp_echo_ignore_all"), QStringLiteral("1"));
    EchoRequestWatch echo;
    double probeWait = 0;
    double nameWait = 0;
    for (int round = 0; round < 3; ++round) {
        const double probe = quitWhileHeldUp(QStringLiteral("127.0.0.1"), echo);
        const double name = quitWhileHeldUp(QStringLiteral("printer.lan.test"), echo);
        if (probe < 0 || name < 0) {
            std::fprintf(stderr, "bench_quit: the program did not start, probe, or end as it should\n");
            return 1;
        }
        probeWait = std::max(probeWait, probe);
        nameWait = std::max(nameWait, name);
    }
    std::printf("SIGTERM to exit: %.0f ms while a probe waits on a 30 s time-out, %.0f ms while a name look-up "
                "hangs (longest of 3)\n",
                probeWait, nameWait);
    std::printf("@ quit_probe_ms %.1f\n@ quit_lookup_ms %.1f\n", probeWait, nameWait);
    return 0;
}
