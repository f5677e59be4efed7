// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFile>
#include <QRegularExpression>

// The peak of this process's resident memory, counted again from a moment of the test's.
namespace PeakMemory {

// From here on (Linux keeps the peak in VmHWM, and lets a process start it again).
inline bool reset()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

// The peak since the reset, in MB; -1 when it cannot be read.
inline qint64 mb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    static const QRegularExpression peak(QStringLiteral("VmHWM:\\s+(\\d+) kB"));
    const QRegularExpressionMatch match = peak.match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toLongLong() / 1024 : -1;
}

} // namespace PeakMemory
