// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <QStringList>

class QProcess;

namespace Tarnwick {

// What a program prints, read as it comes, so that one that prints without end costs no more
// than the tail kept: the last 64 KiB, and from them the last lines, each cut at 500 characters.
class ProcessOutputTail : public QObject
{
    Q_OBJECT

public:
    static constexpr qsizetype MaxBytes = 64 * 1024;
    static constexpr qsizetype MaxLineLength = 500;

    // Reads the process's output (both channels merged by the caller, or standard output alone)
    // as it comes; a child of the process.
    explicit ProcessOutputTail(QProcess* process);

    // Up to the last `count` non-empty lines of the tail, trimmed and each cut at the length.
    QStringList lastLines(qsizetype count);
    // Non-empty lines printed in all, those before the tail's included.
    qint64 lineCount();

private:
    void take();

    QProcess* m_process;
    QByteArray m_tail;
    bool m_cut = false; // the tail begins within a line
    qint64 m_lineCount = 0;
    bool m_lineOpen = false; // the last byte taken was within a line
};

} // namespace Tarnwick
