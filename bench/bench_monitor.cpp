// SPDX-License-Identifier: GPL-3.0-or-later
// The monitor with every device probed every second, inside a namespace network of its own:
// 250 devices of which 25 are silent, time-out 1000 ms.
// - How long after a host goes silent (its address taken away in its namespace) the store
//   says "disconnected", and after it comes back at a random moment of the period,
//   "connected"; five times each. (The CPU it takes is bench_cpu's, on the shipped program.)
// Needs root.
#include "../tests/common/RunningPinger.h"
#include "BenchTool.h"
#include "data/Data.h"
#include "data/Settings.h"
#include "net/NameResolver.h"
#include "net/PingerThread.h"
#include "net/ProbeEngine.h"
#include "netlab/NetworkSandbox.h"
#include "netlab/PeerNetwork.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>
#include <cstdio>

using namespace Tarnwick;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString whyNot;
    PeerNetwork network;
    QList<int> answering;
    for (int host = 1; host <= 225; ++host)
        answering << host;
    if (!NetworkSandbox::enter(&whyNot) || !network.start(QStringLiteral("10.78.1"), answering, &whyNot)) {
        std::fprintf(stderr, "bench_monitor: %s\n", qPrintable(whyNot));
        return 1;
    }
    NameResolver resolver;
    ProbeEngine engine(resolver);
    QStringList targets;
    for (int host = 1; host <= 250; ++host)
        targets << network.address(host);

    Settings& settings = Settings::instance();
    settings.load(QStringLiteral("/nonexistent/Settings.xml"));
    settings.probePeriod = 1;
    settings.logStateChange = false;
    Data data;
    for (const QString& ip : targets)
        data.addEntry(DeviceEntry(ip, QString(), DeviceTypePC, false, NoReplyResult));
    Data::setInstance(&data);
    startPinger(NetworkProbe::overNetwork(engine));

    // Settled: every answering host connected.
    const QString watched = network.address(100);
    const auto state = [&] { return data.entry(watched).state; };
    if (!runUntil([&] { return state() == DeviceStateConnected; }, 10000)) {
        std::fprintf(stderr, "bench_monitor: %s never answered\n", qPrintable(watched));
        return 1;
    }

    double worstDown = 0;
    double worstUp = 0;
    for (int round = 0; round < 5; ++round) {
        QElapsedTimer timer;
        network.silence(100);
        timer.start();
        if (!runUntil([&] { return state() == DeviceStateDisconnected; }, 10000))
            return 1;
        worstDown = std::max(worstDown, double(timer.elapsed()) / 1000);
        // Back at a moment of the period left to chance, not just after the monitor looked.
        runUntil([] { return false; }, int(QRandomGenerator::global()->bounded(1000)));
        network.revive(100);
        timer.restart();
        if (!runUntil([&] { return state() == DeviceStateConnected; }, 10000))
            return 1;
        worstUp = std::max(worstUp, double(timer.elapsed()) / 1000);
    }
    std::printf("250 devices every 1 s: a host gone silent shows disconnected after at most %.2f s, "
                "back connected after at most %.2f s (5 times each)\n",
                worstDown, worstUp);
    std::printf("@ monitor_down_s %.3f\n@ monitor_up_s %.3f\n", worstDown, worstUp);

    stopPinger();
    Data::setInstance(nullptr);
    return 0;
}
