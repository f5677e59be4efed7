// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a day of made-up probe results into a history file, as the monitor would have
// recorded them: one result every 10 s per address, round trips of a few tenths of a
// millisecond that rise in the busy hours, a reply lost now and then, and for the first
// address a twelve-minute outage five hours ago with its two changes of state.
//   history_fill <file> <address>...
#include "history/HistoryStore.h"

#include <QCoreApplication>
#include <QDateTime>

#include <cmath>
#include <cstdio>

using namespace Tarnwick;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: history_fill <file> <address>...\n");
        return 2;
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const qint64 day = 24 * 3600 * 1000LL;
    const qint64 outageStart = now - 5 * 3600 * 1000LL;
    const qint64 outageEnd = outageStart + 12 * 60 * 1000LL;
    HistoryStore store(args[1], {});
    for (int a = 2; a < args.size(); ++a) {
        const QString& address = args[a];
        for (qint64 at = now - day, n = 0; at < now; at += 10000, ++n) {
            const bool down = a == 2 && at >= outageStart && at < outageEnd;
            const bool lost = down || (n * 7919 + a * 31) % 97 == 0;
            const double hour = double((at / 1000) % 86400) / 3600.0;
            const double busy = 1.0 + 1.5 * std::exp(-std::pow((hour - 14.0) / 2.5, 2));
            const auto roundTripUs = qint64((250.0 + double((n * 104729 + a * 7) % 150)) * busy * (a == 2 ? 1.0 : 1.6));
            store.record({address, at,
                          lost ? ProbeResult::timeout() : ProbeResult::reply(std::chrono::microseconds(roundTripUs))});
        }
    }
    store.recordStateChange(args[2], outageStart, false);
    store.recordStateChange(args[2], outageEnd, true);
    store.flush();
    return 0;
}
