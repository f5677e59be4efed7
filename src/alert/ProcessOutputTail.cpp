// SPDX-License-Identifier: GPL-3.0-or-later
#include "alert/ProcessOutputTail.h"

#include <QProcess>

#include <utility>

namespace Tarnwick {

ProcessOutputTail::ProcessOutputTail(QProcess* process)
    : QObject(process)
    , m_process(process)
{
    connect(process, &QProcess::readyRead, this, &ProcessOutputTail::take);
}

void ProcessOutputTail::take()
{
    while (m_process->bytesAvailable() > 0) {
        const QByteArray chunk = m_process->read(MaxBytes);
        if (chunk.isEmpty())
            break;
        for (const char c : chunk) {
            const bool blank = c == '\n' || c == '\r' || c == ' ' || c == '\t';
            if (c == '\n')
                m_lineOpen = false;
            else if (!blank && !m_lineOpen) {
                m_lineOpen = true;
                ++m_lineCount;
            }
        }
        m_tail += chunk;
        // Trimmed now and then rather than on every chunk, so that each byte is moved but once or twice.
        if (m_tail.size() > 2 * MaxBytes) {
            m_tail.remove(0, m_tail.size() - MaxBytes);
            m_cut = true;
        }
    }
}

QStringList ProcessOutputTail::lastLines(qsizetype count)
{
    take();
    const QByteArray tail = m_tail.size() > MaxBytes ? m_tail.right(MaxBytes) : m_tail;
    // A line the tail begins within is the end of a longer one: shown as such.
    const bool cut = m_cut || tail.size() < m_tail.size();
    QStringList lines;
    bool first = true;
    for (const QByteArray& raw : tail.split('\n')) {
        QString line = QString::fromLocal8Bit(raw).trimmed();
        if (std::exchange(first, false) && cut && !line.isEmpty())
            line.prepend(QStringLiteral("…"));
        if (line.isEmpty())
            continue;
        if (line.size() > MaxLineLength)
            line = line.left(MaxLineLength) + QStringLiteral("…");
        lines << line;
    }
    return lines.mid(std::max<qsizetype>(0, lines.size() - count));
}

qint64 ProcessOutputTail::lineCount()
{
    take();
    return m_lineCount;
}

} // namespace Tarnwick
