// SPDX-License-Identifier: GPL-3.0-or-later
// The discovery dialog over a box of 65,536 addresses (127.0.0.0 to 127.15.63.63), none of
// which answers, inside a private network namespace: how long the scan takes, the longest
// stall of the window's event loop while the rows come in, and the memory used at the end.
// Needs root.
#include "../tests/common/RunningPinger.h"
#include "BenchMemory.h"
#include "data/Data.h"
#include "data/Settings.h"
#include "net/NameResolver.h"
#include "net/PingerThread.h"
#include "net/ProbeEngine.h"
#include "netlab/NetworkSandbox.h"
#include "ui/DiscoverDevicesDialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>

using namespace Tarnwick;

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QString whyNot;
    if (!NetworkSandbox::enter(&whyNot)) {
        std::fprintf(stderr, "bench_discover: %s\n", qPrintable(whyNot));
        return 1;
    }
    NameResolver resolver;
    ProbeEngine engine(resolver);
    NetworkSandbox::setSysctl(QStringLiteral("net/ipv4/icmp_echo_ignore_all"), QStringLiteral("1"));
    Settings::instance().load(QStringLiteral("/nonexistent/Settings.xml"));
    Data data;
    Data::setInstance(&data);

    DiscoverDevicesDialog dialog(engine);
    dialog.show();
    dialog.findChild<QLineEdit*>(QStringLiteral("fromEdit"))->setText(QStringLiteral("127.0.0.0"));
    dialog.findChild<QLineEdit*>(QStringLiteral("toEdit"))->setText(QStringLiteral("127.15.63.63"));
    auto* status = dialog.findChild<QLabel*>(QStringLiteral("statusLabel"));

    QElapsedTimer clock;
    qint64 lastTick = -1;
    qint64 longestStall = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (lastTick >= 0)
            longestStall = std::max(longestStall, now - lastTick);
        lastTick = now;
        if (status->text().startsWith(QLatin1String("Search completed")))
            QCoreApplication::quit();
    });
    clock.start();
    ticker.start(5);
    emit dialog.findChild<QPushButton*>(QStringLiteral("startButton"))->pressed();
    app.exec();
    const double seconds = double(clock.elapsed()) / 1000;
    const int rows = dialog.findChild<QTreeWidget*>(QStringLiteral("resultTree"))->topLevelItemCount();
    const double memory = residentMegabytes();
    std::printf("discovery dialog over 65,536 silent addresses: %d rows in %.1f s, longest stall %lld ms, "
                "%.1f MB at the end (%s)\n",
                rows, seconds, static_cast<long long>(longestStall), memory, qPrintable(status->text()));
    if (rows == 65536)
        std::printf("@ box_scan_s %.1f\n@ box_scan_stall_ms %lld\n@ box_scan_memory_mb %.1f\n", seconds,
                    static_cast<long long>(longestStall), memory);
    stopPinger();
    return 0;
}
