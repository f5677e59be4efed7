// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFile>

#include <unistd.h>

// The resident memory of this process, in megabytes; -1 where /proc cannot tell.
inline double residentMegabytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0) : -1;
}
