// SPDX-License-Identifier: GPL-3.0-or-later
// Probes one host from the command line and prints the result: probe_tool HOST [TIMEOUT_MS [COUNT]].
// With a count it probes that many times and prints each result and its wall time in microseconds.
#include "net/NameResolver.h"
#include "net/PingHost.h"
#include "net/ProbeEngine.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: probe_tool HOST [TIMEOUT_MS [COUNT]]\n");
        return 2;
    }
    const QString host = QString::fromLocal8Bit(argv[1]);
    const int timeout = argc > 2 ? QByteArray(argv[2]).toInt() : 1000;
    const int count = argc > 3 ? QByteArray(argv[3]).toInt() : 1;
    Tarnwick::NameResolver resolver;
    Tarnwick::ProbeEngine engine(resolver);
    for (int i = 0; i < count; ++i) {
        QElapsedTimer timer;
        timer.start();
        const int result = Tarnwick::pingHost(engine, host, timeout);
        const qint64 micros = timer.nsecsElapsed() / 1000;
        if (count == 1)
            std::printf("%d\n", result);
        else
            std::printf("%d %lld\n", result, static_cast<long long>(micros));
    }
    return 0;
}
