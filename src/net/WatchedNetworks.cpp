// SPDX-License-Identifier: GPL-3.0-or-later
#include "WatchedNetworks.h"

#include "LocalNetwork.h"

#include <QRegularExpression>

#include <algorithm>
#include <bit>

#include <arpa/inet.h>

namespace Tarnwick {

namespace {

quint32 maskOf(int length)
{
    return length == 0 ? 0 : ~quint32(0) << (32 - length);
}

// The prefix length after "/" (none: all bits), from 0 to most; -1 for anything else.
int lengthOf(const QString& text, qsizetype slash, int most)
{
    if (slash < 0)
        return most;
    bool ok = false;
    const int length = text.mid(slash + 1).toInt(&ok);
    return ok && length >= 0 && length <= most && !text.mid(slash + 1).startsWith(QLatin1Char('+')) ? length : -1;
}

// The IPv6 bytes of text, a scope ("%eth0") left aside.
std::optional<std::array<quint8, 16>> ipv6Bytes(const QString& text)
{
    std::array<quint8, 16> bytes{};
    if (::inet_pton(AF_INET6, text.section(QLatin1Char('%'), 0, 0).toLatin1().constData(), bytes.data()) != 1)
        return std::nullopt;
    return bytes;
}

bool sharesPrefix(const std::array<quint8, 16>& a, const std::array<quint8, 16>& b, int length)
{
    for (int bit = 0; bit < length; ++bit) {
        const quint8 mask = quint8(0x80 >> (bit % 8));
        if ((a[bit / 8] & mask) != (b[bit / 8] & mask))
            return false;
    }
    return true;
}

} // namespace

QString WatchedNetworks::Ipv4Network::text() const
{
    const quint32 order = htonl(network);
    char dotted[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &order, dotted, sizeof dotted);
    return QStringLiteral("%1/%2").arg(QString::fromLatin1(dotted)).arg(length);
}

std::optional<WatchedNetworks> WatchedNetworks::parse(const QString& text, QString* why)
{
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    const QStringList prefixes = text.split(separators, Qt::SkipEmptyParts);
    if (prefixes.isEmpty()) {
        WatchedNetworks defaults = directlyConnected(LocalLinks::current());
        defaults.m_everyIpv6 = true;
        return defaults;
    }
    const auto refuse = [why](const QString& reason) {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    if (prefixes.size() > MaxPrefixes)
        return refuse(QStringLiteral("%1 networks are more than %2; list fewer").arg(prefixes.size()).arg(MaxPrefixes));
    WatchedNetworks networks;
    qint64 addresses = 0;
    for (const QString& whole : prefixes) {
        // Named in a refusal, but not at any length.
        const QString prefix = whole.size() > 64 ? whole.left(60) + QStringLiteral("…") : whole;
        const qsizetype slash = whole.indexOf(QLatin1Char('/'));
        const QByteArray address = whole.left(slash).toLatin1();
        if (whole.contains(QLatin1Char(':'))) {
            Ipv6Prefix v6;
            v6.length = lengthOf(whole, slash, 128);
            if (v6.length < 0 || whole.contains(QLatin1Char('%'))
                || ::inet_pton(AF_INET6, address.constData(), v6.bytes.data()) != 1)
                return refuse(QStringLiteral("\"%1\" is not a network such as fd00::/64").arg(prefix));
            for (int bit = v6.length; bit < 128; ++bit)
                v6.bytes[bit / 8] &= quint8(~(0x80 >> (bit % 8)));
            if (!networks.m_ipv6.contains(v6))
                networks.m_ipv6 << v6;
            continue;
        }
        Ipv4Network v4;
        v4.length = lengthOf(whole, slash, 32);
        quint32 order = 0;
        if (v4.length < 0 || ::inet_pton(AF_INET, address.constData(), &order) != 1)
            return refuse(QStringLiteral("\"%1\" is not a network such as 10.0.0.0/24").arg(prefix));
        if (v4.length < LargestIpv4Prefix)
            return refuse(
                QStringLiteral("%1 is larger than a /%2; list its parts instead").arg(prefix).arg(LargestIpv4Prefix));
        v4.network = ntohl(order) & maskOf(v4.length);
        if (!networks.m_ipv4.contains(v4)) {
            networks.m_ipv4 << v4;
            addresses += qint64(1) << (32 - v4.length);
        }
    }
    if (addresses > MaxIpv4Addresses)
        return refuse(QStringLiteral("the networks hold %1 addresses, more than the %2 of a /%3; list fewer")
                          .arg(addresses)
                          .arg(MaxIpv4Addresses)
                          .arg(LargestIpv4Prefix));
    return networks;
}

WatchedNetworks WatchedNetworks::directlyConnected(const LocalLinks& links)
{
    WatchedNetworks networks;
    for (const LocalLinks::Link& link : links.links()) {
        const quint32 address = ntohl(link.address);
        const int length = std::popcount(ntohl(link.mask));
        const std::optional<LocalNetwork::Range> range = LocalNetwork::rangeFor(address, length);
        if (!range)
            continue;
        Ipv4Network network;
        network.length = range->narrowed ? LocalNetwork::LargestPrefix : length;
        network.network = address & maskOf(network.length);
        if (!networks.m_ipv4.contains(network))
            networks.m_ipv4 << network;
    }
    return networks;
}

bool WatchedNetworks::watchesIpv6Address(const QString& address) const
{
    if (m_everyIpv6)
        return true;
    const std::optional<std::array<quint8, 16>> bytes = ipv6Bytes(address);
    return bytes && std::any_of(m_ipv6.begin(), m_ipv6.end(), [&](const Ipv6Prefix& prefix) {
               return sharesPrefix(*bytes, prefix.bytes, prefix.length);
           });
}

QStringList WatchedNetworks::texts() const
{
    QStringList texts;
    for (const Ipv4Network& network : m_ipv4)
        texts << network.text();
    for (const Ipv6Prefix& prefix : m_ipv6) {
        char text[INET6_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET6, prefix.bytes.data(), text, sizeof text);
        texts << QStringLiteral("%1/%2").arg(QString::fromLatin1(text)).arg(prefix.length);
    }
    return texts;
}

} // namespace Tarnwick
