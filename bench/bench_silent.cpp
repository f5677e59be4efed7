// The cost of silent hosts, which are what users meet: inside a namespace network of its own
// (a /24 with 5 answering hosts and 249 silent addresses, time-out 1000 ms), the time of one
// discovery of the /24 and of one monitor pass over 20 devices of which 15 are silent, each
// next to fping on the same targets in the same run. Needs root.
#include "data/Data.h"
#include "data/Settings.h"
#include "net/DiscoverDevicesThread.h"
#include "net/PingerThread.h"
#include "netlab/NetworkSandbox.h"
#include "netlab/PeerNetwork.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSet>

#include <cstdio>

using namespace Tarnwick;

namespace {

const QString Prefix = QStringLiteral("10.77.1");
const QList<int> Answering = {10, 20, 30, 40, 50};

class ScanReceiver : public QObject
{
    Q_OBJECT
public:
    int active = -1;
public slots:
    void scanResult(bool, const QString&, const QString&) { }
    void scanCompleted(int a, int)
    {
        active = a;
        QCoreApplication::quit();
    }
};

// Runs fping; returns its wall time in seconds and the number of lines it printed on stdout.
std::pair<double, int> runFping(const QStringList& arguments)
{
    QProcess fping;
    QElapsedTimer timer;
    timer.start();
    fping.start(QStringLiteral("fping"), arguments);
    if (!fping.waitForFinished(600000))
        return {-1, -1};
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    return {seconds, int(fping.readAllStandardOutput().count('\n'))};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString whyNot;
    PeerNetwork network;
    if (!NetworkSandbox::enter(&whyNot) || !network.start(Prefix, Answering, &whyNot)) {
        std::fprintf(stderr, "bench_silent: %s\n", qPrintable(whyNot));
        return 1;
    }

    // Discovery of the /24.
    {
        ScanReceiver receiver;
        DiscoverDevicesThread scan({10, 77, 1, 1}, {10, 77, 1, 254}, &receiver);
        QElapsedTimer timer;
        timer.start();
        scan.start();
        app.exec();
        scan.wait();
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        const auto [fpingSeconds, fpingActive] = runFping({"-a", "-q", "-r", "0", "-t", "1000", "-g",
                                                           Prefix + QStringLiteral(".1"),
                                                           Prefix + QStringLiteral(".254")});
        std::printf("discovery of %s.1-254: %d active in %.2f s; fping -a -g: %d active in %.2f s\n",
                    qPrintable(Prefix), receiver.active, seconds, fpingActive, fpingSeconds);
        std::printf(
            "@ discovery_s %.3f\n@ discovery_active %d\n@ fping_discovery_s %.3f\n@ fping_discovery_active %d\n",
            seconds, receiver.active, fpingSeconds, fpingActive);
    }

    // One monitor pass over 20 devices, 15 of them silent, at the default settings.
    {
        Settings& settings = Settings::instance();
        settings.load(QStringLiteral("/nonexistent/Settings.xml"));
        Data data;
        QStringList targets;
        for (int host : Answering)
            targets << network.address(host);
        for (int host = 100; host < 115; ++host)
            targets << network.address(host);
        for (const QString& ip : targets)
            data.addEntry(DeviceEntry(ip, QString(), DeviceTypePC, false, NoReplyResult));
        Data::setInstance(&data);
        QSet<QString> probed;
        QObject::connect(&data, &Data::DeviceEntryChanged, &app, [&](DeviceEntryChangedEvent* event) {
            probed.insert(event->newEntry().ip);
            if (probed.size() == targets.size())
                QCoreApplication::quit();
        });
        QElapsedTimer timer;
        timer.start();
        startPinger();
        app.exec();
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        stopPinger();
        QCoreApplication::sendPostedEvents();
        Data::setInstance(nullptr);
        const auto [fpingSeconds, fpingLines] = runFping(QStringList{"-q", "-c", "1", "-r", "0", "-t", "1000"}
                                                         + targets);
        std::printf("monitor pass over 20 devices, 15 silent: %.2f s; fping -c 1: %.2f s\n", seconds, fpingSeconds);
        std::printf("@ monitor_pass_s %.3f\n@ fping_pass_s %.3f\n", seconds, fpingSeconds);
    }
    return 0;
}

#include "bench_silent.moc"
