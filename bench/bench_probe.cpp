// SPDX-License-Identifier: GPL-3.0-or-later
// Measures the probe inside a private network namespace (needs root): its accuracy against
// iputils ping at several responder delays, its overhead on loopback, and a loopback scan.
#include "net/DiscoverDevicesThread.h"
#include "net/NameResolver.h"
#include "net/NetworkProbe.h"
#include "net/ProbeEngine.h"
#include "net/ProbeWaiter.h"
#include "netlab/EchoResponder.h"
#include "netlab/NetworkSandbox.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <cstdio>

using namespace Tarnwick;

namespace {

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n == 0 ? -1 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

QList<double> pingTimes(const QString& host, int count)
{
    QProcess ping;
    ping.start(QStringLiteral("ping"), {"-n", "-c", QString::number(count), "-i", "0.2", host});
    ping.waitForFinished(60000);
    QList<double> times;
    static const QRegularExpression time(QStringLiteral("time=([0-9.]+) ms"));
    auto it = time.globalMatch(QString::fromLatin1(ping.readAllStandardOutput()));
    while (it.hasNext())
        times << it.next().captured(1).toDouble();
    return times;
}

class ScanReceiver : public QObject
{
    Q_OBJECT
public:
    int active = -1;
    int total = -1;
    void scanCompleted(int a, int t)
    {
        active = a;
        total = t;
        QCoreApplication::quit();
    }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString whyNot;
    if (!NetworkSandbox::enter(&whyNot)) {
        std::fprintf(stderr, "bench_probe: %s\n", qPrintable(whyNot));
        return 1;
    }
    NameResolver resolver;
    ProbeEngine engine(resolver);
    const int samples = 20;

    NetworkSandbox::setSysctl("net/ipv4/icmp_echo_ignore_all", "1");
    for (int delay : {0, 20, 100}) {
        EchoResponder responder;
        if (!responder.start({"--address", "127.0.0.7", "--delay", QString::number(delay)})) {
            std::fprintf(stderr, "bench_probe: the responder did not start\n");
            return 1;
        }
        const QList<double> reference = pingTimes(QStringLiteral("127.0.0.7"), samples);
        QList<double> ours;
        ProbeWaiter waiter;
        for (int i = 0; i < samples; ++i) {
            const auto result = waiter.probe(NetworkProbe::overNetwork(engine), QStringLiteral("127.0.0.7"), 2000);
            ours << double(result->roundTripUs) / 1000.0;
        }
        const double difference = median(ours) - median(reference);
        std::printf("accuracy at %3d ms delay: probe median %.1f ms, ping median %.3f ms, difference %.2f ms\n", delay,
                    median(ours), median(reference), difference);
        if (!reference.isEmpty() && !ours.isEmpty())
            std::printf("@ accuracy_%d_ms %.3f\n", delay, difference);
    }

    NetworkSandbox::setSysctl("net/ipv4/icmp_echo_ignore_all", "0");
    // One probe's own cost: the probes are spaced out past the engine's 1 ms between two
    // requests, which would otherwise be what is measured.
    QList<double> wall;
    ProbeWaiter waiter;
    for (int i = 0; i < 1000; ++i) {
        QThread::usleep(1500);
        QElapsedTimer timer;
        timer.start();
        waiter.probe(NetworkProbe::overNetwork(engine), QStringLiteral("127.0.0.1"), 1000);
        wall << double(timer.nsecsElapsed()) / 1e6;
    }
    std::printf("overhead: median probe of 127.0.0.1 takes %.3f ms of wall time (1000 probes)\n", median(wall));
    std::printf("@ probe_wall_ms %.3f\n", median(wall));

    ScanReceiver receiver;
    DiscoverDevicesThread scan(ScanRange::box({127, 0, 0, 1}, {127, 0, 0, 254}), engine);
    QObject::connect(&scan, &DiscoverDevicesThread::scanCompleted, &receiver, &ScanReceiver::scanCompleted);
    QElapsedTimer timer;
    timer.start();
    scan.start();
    app.exec();
    scan.wait();
    const double scanSeconds = double(timer.nsecsElapsed()) / 1e9;
    std::printf("scan of 127.0.0.1 to 127.0.0.254: %d of %d answered in %.3f s\n", receiver.active, receiver.total,
                scanSeconds);
    if (receiver.active == 254)
        std::printf("@ loopback_scan_s %.3f\n", scanSeconds);
    return 0;
}

#include "bench_probe.moc"
