// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScanRange.h"

#include <QStringList>

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>

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

std::optional<ScanRange> ScanRange::ipv6Span(const QString& from, const QString& to, QString* problem)
{
    std::array<quint8, 16> ends[2];
    QString scopes[2];
    const QString texts[2] = {from, to};
    for (int i = 0; i < 2; ++i) {
        const qsizetype percent = texts[i].indexOf(QLatin1Char('%'));
        scopes[i] = percent < 0 ? QString() : texts[i].mid(percent + 1);
        if (::inet_pton(AF_INET6, texts[i].left(percent < 0 ? texts[i].size() : percent).toLatin1().constData(),
                        ends[i].data())
            != 1) {
            *problem = QStringLiteral("\"%1\" is not an IPv6 address").arg(texts[i]);
            return std::nullopt;
        }
    }
    if (scopes[0] != scopes[1]) {
        *problem = QStringLiteral("--scan: FROM %1 and TO %2 name different interfaces").arg(from, to);
        return std::nullopt;
    }
    if (!std::equal(ends[0].begin(), ends[0].end() - 2, ends[1].begin())) {
        *problem = QStringLiteral("--scan: IPv6 FROM %1 and TO %2 differ before their last 16 bits (a range such as "
                                  "fd00::1 to fd00::ffff)")
                       .arg(from, to);
        return std::nullopt;
    }
    const quint32 first = quint32(ends[0][14]) << 8 | ends[0][15];
    const quint32 last = quint32(ends[1][14]) << 8 | ends[1][15];
    if (first > last) {
        *problem = QStringLiteral("--scan: FROM %1 is above TO %2").arg(from, to);
        return std::nullopt;
    }
    ScanRange range = span(first, last);
    range.m_isIpv6 = true;
    range.m_ipv6 = ends[0];
    range.m_scope = scopes[0];
    return range;
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
    if (m_isIpv6) {
        std::array<quint8, 16> bytes = m_ipv6;
        bytes[14] = quint8(address >> 8);
        bytes[15] = quint8(address);
        char text[INET6_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET6, bytes.data(), text, sizeof text);
        return QString::fromLatin1(text) + (m_scope.isEmpty() ? QString() : QLatin1Char('%') + m_scope);
    }
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
