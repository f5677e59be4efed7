// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScanRange.h"

#include <QStringList>

#include <algorithm>

namespace Tarnwick {

ScanRange ScanRange::box(const QList<quint8>& from, const QList<quint8>& to)
{
    ScanRange range;
    range.m_from = from;
    range.m_to = to;
    return range;
}

ScanRange ScanRange::span(quint32 first, quint32 last)
{
    ScanRange range;
    range.m_isBox = false;
    range.m_first = first;
    range.m_spanSize = last < first ? 0 : qint64(last) - qint64(first) + 1;
    return range;
}

ScanRange ScanRange::hostsOf(quint32 address, int prefixLength)
{
    prefixLength = std::clamp(prefixLength, 0, 32);
    const quint32 mask = prefixLength == 0 ? 0 : ~quint32(0) << (32 - prefixLength);
    const quint32 network = address & mask;
    const quint32 broadcast = network | ~mask;
    return prefixLength >= 31 ? span(network, broadcast) : span(network + 1, broadcast - 1);
}

std::optional<ScanRange> ScanRange::parsePrefix(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('/'));
    if (parts.size() != 2)
        return std::nullopt;
    bool ok = false;
    const int length = parts[1].toInt(&ok, 10);
    const QStringList octets = parts[0].split(QLatin1Char('.'));
    if (!ok || length < 0 || length > 32 || octets.size() != 4)
        return std::nullopt;
    quint32 address = 0;
    for (const QString& octet : octets) {
        const int value = octet.toInt(&ok, 10);
        if (!ok || value < 0 || value > 255)
            return std::nullopt;
        address = address << 8 | quint32(value);
    }
    return hostsOf(address, length);
}

qint64 ScanRange::size() const
{
    if (!m_isBox)
        return m_spanSize;
    // Every octet runs on its own; a box with any octet range empty holds no address.
    qint64 size = 1;
    for (int i = 0; i < 4; ++i)
        size *= std::max(0, int(m_to[i]) - int(m_from[i]) + 1);
    return size;
}

QString ScanRange::addressAt(qint64 index) const
{
    quint32 address = m_first + quint32(index);
    if (m_isBox) {
        // The last octet runs fastest.
        address = 0;
        for (int i = 3, shift = 0; i >= 0; --i, shift += 8) {
            const int span = m_to[i] - m_from[i] + 1;
            address |= quint32(m_from[i] + int(index % span)) << shift;
            index /= span;
        }
    }
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg((address >> 16) & 0xff)
        .arg((address >> 8) & 0xff)
        .arg(address & 0xff);
}

} // namespace Tarnwick
