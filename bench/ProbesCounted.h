// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "netlab/HttpGet.h"

#include <QByteArray>
#include <QList>

// Every probe a running tarnwick has counted in the metrics it serves on the loopback port,
// whatever the result; 0 when the page cannot be had.
inline qint64 probesCounted(int port)
{
    qint64 sum = 0;
    for (const QByteArray& line : httpGet(port, "/metrics").split('\n')) {
        if (line.startsWith("tarnwick_probes_total{"))
            sum += line.mid(line.lastIndexOf(' ') + 1).toLongLong();
    }
    return sum;
}
