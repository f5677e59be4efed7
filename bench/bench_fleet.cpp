// SPDX-License-Identifier: GPL-3.0-or-later
// The shipped program, headless, watching a fleet of namespace devices: 10,000 every 5 s and
// 2,500 every 1 s, time-out 1000 ms. The devices are the addresses of a /18 that a peer
// namespace answers as its own; a host is silenced by a blackhole route for its address there
// and revived by taking the route away. For five hosts spread over the list, one at a time:
// how long after it went silent the program's log says "disconnected", and after it came back
// at a moment of the period left to chance, "connected". The lines are timed as they arrive on
// the program's standard error. Needs root.
#include "BenchTool.h"
#include "netlab/NetworkSandbox.h"
#include "netlab/PeerNetwork.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <functional>

namespace {

// 10.82.0.0/18 holds the fleet; the first address is 10.82.0.1.
QString fleetAddress(int i)
{
    const int n = i + 1;
    return QStringLiteral("10.82.%1.%2").arg(n / 256).arg(n % 256);
}

bool runHere(const QStringList& command)
{
    QProcess process;
    process.start(command.first(), command.mid(1));
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

struct Worst
{
    double down = -1;
    double up = -1;
};

Worst watchFleet(PeerNetwork& peer, int devices, int periodS)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("Settings.xml")),
              QStringLiteral("<Settings><PingTimeout>1000</PingTimeout><ProbePeriod>%1</ProbePeriod></Settings>")
                  .arg(periodS)
                  .toLatin1());
    QByteArray list = "<DeviceEntries>\n";
    for (int i = 0; i < devices; ++i)
        list += "<DeviceEntry IP=\"" + fleetAddress(i).toLatin1() + "\"/>\n";
    list += "</DeviceEntries>\n";
    writeFile(dir.filePath(QStringLiteral("DeviceConfig.xml")), list);

    QProcess program;
    program.setWorkingDirectory(dir.path());
    program.setStandardOutputFile(QProcess::nullDevice());
    QHash<QString, qint64> disconnectedAt;
    QHash<QString, qint64> connectedAt;
    QElapsedTimer clock;
    clock.start();
    QByteArray pending;
    static const QByteArray Marker = " state changed to: ";
    QObject::connect(&program, &QProcess::readyReadStandardError, [&] {
        pending += program.readAllStandardError();
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1)) {
            const QByteArray line = pending.left(end);
            const qsizetype at = line.indexOf(Marker);
            if (at < 0)
                continue;
            const QString ip = QString::fromLatin1(line.left(at).split(' ').last());
            (line.mid(at + Marker.size()).startsWith("connected") ? connectedAt : disconnectedAt)
                .insert(ip, clock.elapsed());
        }
    });
    program.start(QStringLiteral(TARNWICK_EXECUTABLE), {QStringLiteral("--headless")});
    if (!program.waitForStarted(10000))
        return {};
    // Every device heard once, and then some.
    runFor((2 * periodS + 3) * 1000);

    Worst worst;
    for (int round = 0; round < 5; ++round) {
        const QString ip = fleetAddress((round * 2 + 1) * devices / 10);
        const QStringList route = {"route", "add", "blackhole", ip + "/32", "table", "local"};
        if (!peer.runInside(QStringList{QStringLiteral("ip")} + route))
            return {};
        const qint64 silenced = clock.elapsed();
        if (!runUntil([&] { return disconnectedAt.value(ip) > silenced; }, 60000))
            return {};
        worst.down = std::max(worst.down, double(disconnectedAt.value(ip) - silenced) / 1000);
        runFor(int(QRandomGenerator::global()->bounded(periodS * 1000)));
        QStringList back = route;
        back[1] = QStringLiteral("del");
        if (!peer.runInside(QStringList{QStringLiteral("ip")} + back))
            return {};
        const qint64 revived = clock.elapsed();
        if (!runUntil([&] { return connectedAt.value(ip) > revived; }, 60000))
            return {};
        worst.up = std::max(worst.up, double(connectedAt.value(ip) - revived) / 1000);
    }
    ::kill(pid_t(program.processId()), SIGTERM);
    program.waitForFinished(30000);
    return worst;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString whyNot;
    PeerNetwork peer;
    // The peer's own /24 carries the link; the fleet's /18 is routed through it and answered
    // there as addresses of its own.
    if (!NetworkSandbox::enter(&whyNot) || !peer.start(QStringLiteral("10.82.128"), {1}, &whyNot)) {
        std::fprintf(stderr, "bench_fleet: %s\n", qPrintable(whyNot));
        return 1;
    }
    if (!runHere({"ip", "route", "add", "10.82.0.0/18", "via", "10.82.255.2"})
        || !peer.runInside({"ip", "route", "add", "local", "10.82.0.0/18", "dev", "lo"})) {
        std::fprintf(stderr, "bench_fleet: the fleet's addresses could not be routed\n");
        return 1;
    }
    for (const auto& [devices, period] : {std::pair{10000, 5}, std::pair{2500, 1}}) {
        const Worst worst = watchFleet(peer, devices, period);
        if (worst.down < 0 || worst.up < 0) {
            std::fprintf(stderr, "bench_fleet: %d devices every %d s: a host's change was not logged in time\n",
                         devices, period);
            return 1;
        }
        std::printf("%d devices every %d s: a host gone silent is logged disconnected after at most %.2f s, back "
                    "connected after at most %.2f s (worst of 5)\n",
                    devices, period, worst.down, worst.up);
        std::printf("@ fleet_%d_down_s %.3f\n@ fleet_%d_up_s %.3f\n", devices, worst.down, devices, worst.up);
    }
    return 0;
}
