// SPDX-License-Identifier: GPL-3.0-or-later
// The shipped program, headless, watching a fleet of namespace devices: 10,000 every 5 s and
// 2,500 every 1 s, time-out 1000 ms. The devices are the addresses of a /18 that a peer
// namespace answers as its own; a host is silenced by a blackhole route for its address there
// and revived by taking the route away. For five hosts spread over the list, one at a time:
// how long after it went silent the program's log says "disconnected", and after it came back
// at a moment of the period left to chance, "connected". The lines are timed as they arrive on
// the program's standard error. Then the mass outage: all 2,500 fall silent at once, and how long
// until the last of them is logged disconnected, with the command, a webhook and Apprise set
// (each alert runs /bin/true, and is posted to a server here that takes it), beside the same
// run without channels, alternating, three of each. Needs root.
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
#include <QTcpServer>
#include <QTcpSocket>
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

// Takes each HTTP request whole and answers 200, as a webhook or Apprise's json:// receiver does.
class Receiver : public QTcpServer
{
public:
    Receiver()
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                    const QByteArray seen = socket->peek(socket->bytesAvailable());
                    const qsizetype end = seen.indexOf("\r\n\r\n");
                    if (end < 0)
                        return;
                    qsizetype length = 0;
                    for (const QByteArray& line : seen.left(end).split('\n'))
                        if (line.toLower().startsWith("content-length:"))
                            length = line.mid(15).trimmed().toLongLong();
                    if (seen.size() < end + 4 + length)
                        return;
                    socket->readAll();
                    socket->write("HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                    socket->disconnectFromHost();
                });
            }
        });
    }
};

// The program, headless, over the first `devices` addresses of the fleet in a folder of its
// own, with each device's changes timed as their log lines arrive.
class FleetRun
{
public:
    FleetRun(int devices, int periodS, const QByteArray& moreSettings = {})
    {
        writeFile(m_dir.filePath(QStringLiteral("Settings.xml")),
                  "<Settings><PingTimeout>1000</PingTimeout><ProbePeriod>" + QByteArray::number(periodS)
                      + "</ProbePeriod>" + moreSettings + "</Settings>");
        QByteArray list = "<DeviceEntries>\n";
        for (int i = 0; i < devices; ++i)
            list += "<DeviceEntry IP=\"" + fleetAddress(i).toLatin1() + "\"/>\n";
        list += "</DeviceEntries>\n";
        writeFile(m_dir.filePath(QStringLiteral("DeviceConfig.xml")), list);
        m_program.setWorkingDirectory(m_dir.path());
        m_program.setStandardOutputFile(QProcess::nullDevice());
        m_clock.start();
        QObject::connect(&m_program, &QProcess::readyReadStandardError, [this] { take(); });
        m_program.start(QStringLiteral(TARNWICK_EXECUTABLE), {QStringLiteral("--headless")});
        m_started = m_program.waitForStarted(10000);
    }
    ~FleetRun()
    {
        ::kill(pid_t(m_program.processId()), SIGTERM);
        m_program.waitForFinished(30000);
    }

    bool started() const { return m_started; }
    qint64 now() const { return m_clock.elapsed(); }
    // When the device was last logged disconnected, or connected; 0 when it was not.
    qint64 disconnectedAt(const QString& ip) const { return m_disconnectedAt.value(ip); }
    qint64 connectedAt(const QString& ip) const { return m_connectedAt.value(ip); }
    // The devices logged disconnected after the moment, and the last time of those.
    int disconnectedSince(qint64 since, qint64* last) const
    {
        int count = 0;
        for (const qint64 at : m_disconnectedAt) {
            if (at > since) {
                ++count;
                *last = std::max(*last, at);
            }
        }
        return count;
    }

private:
    void take()
    {
        static const QByteArray Marker = " state changed to: ";
        m_pending += m_program.readAllStandardError();
        for (qsizetype end; (end = m_pending.indexOf('\n')) >= 0; m_pending.remove(0, end + 1)) {
            const QByteArray line = m_pending.left(end);
            const qsizetype at = line.indexOf(Marker);
            if (at < 0)
                continue;
            const QString ip = QString::fromLatin1(line.left(at).split(' ').last());
            (line.mid(at + Marker.size()).startsWith("connected") ? m_connectedAt : m_disconnectedAt)
                .insert(ip, m_clock.elapsed());
        }
    }

    QTemporaryDir m_dir;
    QProcess m_program;
    QElapsedTimer m_clock;
    QByteArray m_pending;
    QHash<QString, qint64> m_disconnectedAt;
    QHash<QString, qint64> m_connectedAt;
    bool m_started = false;
};

struct Worst
{
    double down = -1;
    double up = -1;
};

Worst watchFleet(PeerNetwork& peer, int devices, int periodS)
{
    FleetRun run(devices, periodS);
    if (!run.started())
        return {};
    // Every device heard once, and then some.
    runFor((2 * periodS + 3) * 1000);

    Worst worst;
    for (int round = 0; round < 5; ++round) {
        const QString ip = fleetAddress((round * 2 + 1) * devices / 10);
        const QStringList route = {"route", "add", "blackhole", ip + "/32", "table", "local"};
        if (!peer.runInside(QStringList{QStringLiteral("ip")} + route))
            return {};
        const qint64 silenced = run.now();
        if (!runUntil([&] { return run.disconnectedAt(ip) > silenced; }, 60000))
            return {};
        worst.down = std::max(worst.down, double(run.disconnectedAt(ip) - silenced) / 1000);
        runFor(int(QRandomGenerator::global()->bounded(periodS * 1000)));
        QStringList back = route;
        back[1] = QStringLiteral("del");
        if (!peer.runInside(QStringList{QStringLiteral("ip")} + back))
            return {};
        const qint64 revived = run.now();
        if (!runUntil([&] { return run.connectedAt(ip) > revived; }, 60000))
            return {};
        worst.up = std::max(worst.up, double(run.connectedAt(ip) - revived) / 1000);
    }
    return worst;
}

// The whole fleet falls silent at once: seconds until the last device is logged disconnected,
// or -1.
double massOutage(PeerNetwork& peer, int devices, bool withChannels)
{
    Receiver receiver;
    const QByteArray at = "127.0.0.1:" + QByteArray::number(receiver.serverPort());
    FleetRun run(devices, 1,
                 withChannels ? "<AlertCommand>/bin/true</AlertCommand><WebhookUrl>http://" + at
                         + "/</WebhookUrl><AppriseUrls>json://" + at + "/</AppriseUrls>"
                              : QByteArray());
    if (!run.started())
        return -1;
    runFor(5000);
    const QStringList fleet{"ip", "route", "del", "local", "10.82.0.0/18", "dev", "lo", "table", "local"};
    if (!peer.runInside(fleet))
        return -1;
    const qint64 silenced = run.now();
    qint64 last = 0;
    const bool all = runUntil([&] { return run.disconnectedSince(silenced, &last) == devices; }, 60000);
    QStringList back = fleet;
    back[2] = QStringLiteral("add");
    if (!peer.runInside(back) || !all)
        return -1;
    return double(last - silenced) / 1000;
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
    // Alternate runs, so that the machine's moods fall on both alike.
    double withChannels = -1;
    double without = -1;
    for (int round = 0; round < 3; ++round) {
        for (const bool channels : {true, false}) {
            const double seconds = massOutage(peer, 2500, channels);
            if (seconds < 0) {
                std::fprintf(stderr, "bench_fleet: the mass outage was not logged in time\n");
                return 1;
            }
            double& worst = channels ? withChannels : without;
            worst = std::max(worst, seconds);
        }
    }
    std::printf("2500 devices every 1 s falling silent at once: the last logged disconnected after at most %.2f s "
                "with the command, a webhook and Apprise set, %.2f s without (worst of 3)\n",
                withChannels, without);
    std::printf("@ outage_channels_s %.3f\n@ outage_none_s %.3f\n", withChannels, without);
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
