// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a day of made-up probe results into a history file, as the monitor would have
// recorded them: one result every 10 s per address, round trips of a few tenths of a
// millisecond that rise in the busy hours, a reply lost now and then, and for the first
// address a twelve-minute outage five hours ago with its two changes of state. With --month,
// thirty days of one address instead, one result a minute and every 10 s in the last day: the
// round trips spread wide in the busy hours, come in two modes (about 1 and 50 ms, a link that
// fails over) for the last three hours and for a day a week ago, and a tenth of them are lost for
// an hour a fortnight ago.
//   history_fill <file> <address>...
//   history_fill --month <file> <address>
#include "history/HistoryStore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QRandomGenerator>

#include <cmath>
#include <cstdio>

using namespace Tarnwick;

namespace {

void fillMonth(const QString& file, const QString& address)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const qint64 hourMs = 3600 * 1000LL;
    const qint64 dayMs = 24 * hourMs;
    QRandomGenerator random(7);
    HistoryStore store(file, {});
    for (qint64 at = now - 30 * dayMs; at<now; at += now - at> dayMs ? 60000 : 10000) {
        const double hour = double((at / 1000) % 86400) / 3600.0;
        const double busy = std::exp(-std::pow((hour - 14.0) / 2.5, 2));
        const qint64 ago = now - at;
        const bool twoModes = ago < 3 * hourMs || (ago > 7 * dayMs && ago < 8 * dayMs);
        const bool lossy = ago > 14 * dayMs && ago < 14 * dayMs + hourMs;
        double roundTripMs = 0.8 + 0.4 * random.generateDouble() + busy * 6.0 * std::pow(random.generateDouble(), 3);
        if (twoModes && random.bounded(2) == 1)
            roundTripMs = 48.0 + 4.0 * random.generateDouble();
        const bool lost = (lossy && random.bounded(10) == 0) || random.bounded(2000) == 0;
        store.record({address, at,
                      lost ? ProbeResult::timeout()
                           : ProbeResult::reply(std::chrono::microseconds(qint64(roundTripMs * 1000.0)))});
    }
    store.flush();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--month")) {
        fillMonth(args[2], args[3]);
        return 0;
    }
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: history_fill <file> <address>...\n       history_fill --month <file> <address>\n");
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
