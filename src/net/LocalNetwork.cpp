// SPDX-License-Identifier: GPL-3.0-or-later
#include "LocalNetwork.h"

#include <QFile>
#include <QList>

#include <algorithm>
#include <bit>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

namespace Tarnwick {

namespace {

// Dotted text; each octet at most 254, as the scan takes them.
QString dotted(quint32 address)
{
    QStringList octets;
    for (int shift = 24; shift >= 0; shift -= 8)
        octets << QString::number(std::min<quint32>(254, (address >> shift) & 0xff));
    return octets.join(QLatin1Char('.'));
}

} // namespace

std::optional<LocalNetwork::Range> LocalNetwork::rangeFor(quint32 address, int prefixLength)
{
    if (prefixLength < 0 || prefixLength > 32)
        return std::nullopt;
    if ((address >> 24) == 127 || (address >> 16) == 0xa9fe || address == 0)
        return std::nullopt;
    Range range;
    if (prefixLength < LargestPrefix) {
        prefixLength = LargestPrefix;
        range.narrowed = true;
    }
    range.hosts = ScanRange::hostsOf(address, prefixLength);
    range.from = dotted(range.hosts.first());
    range.to = dotted(range.hosts.last());
    return range;
}

QString LocalNetwork::defaultRouteInterface(const QByteArray& routeTable)
{
    // Iface Destination Gateway Flags RefCnt Use Metric Mask ...; hexadecimal fields.
    const QList<QByteArray> lines = routeTable.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].simplified().split(' ');
        if (fields.size() < 8)
            continue;
        bool flagsOk = false;
        const uint flags = fields[3].toUInt(&flagsOk, 16);
        // 0x1: the route is up.
        if (fields[1] == "00000000" && fields[7] == "00000000" && flagsOk && (flags & 0x1))
            return QString::fromLatin1(fields[0]);
    }
    return {};
}

std::optional<LocalNetwork::Range> LocalNetwork::ofDefaultRoute(QString* why)
{
    const auto fail = [why](const char* text) {
        if (why)
            *why = QString::fromLatin1(text);
        return std::nullopt;
    };
    QFile routes(QStringLiteral("/proc/net/route"));
    const QString interface = routes.open(QIODevice::ReadOnly) ? defaultRouteInterface(routes.readAll()) : QString();
    if (interface.isEmpty())
        return fail(QT_TRANSLATE_NOOP("Phrases", "This computer has no default route."));
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return fail(QT_TRANSLATE_NOOP("Phrases", "The network interfaces cannot be read."));
    std::optional<Range> range;
    for (const ifaddrs* it = list; it && !range; it = it->ifa_next) {
        if (!it->ifa_addr || !it->ifa_netmask || it->ifa_addr->sa_family != AF_INET
            || QString::fromLocal8Bit(it->ifa_name) != interface)
            continue;
        const quint32 address = ntohl(reinterpret_cast<const sockaddr_in*>(it->ifa_addr)->sin_addr.s_addr);
        const quint32 mask = ntohl(reinterpret_cast<const sockaddr_in*>(it->ifa_netmask)->sin_addr.s_addr);
        range = rangeFor(address, std::popcount(mask));
    }
    ::freeifaddrs(list);
    if (!range)
        return fail(QT_TRANSLATE_NOOP("Phrases", "The interface of the default route has no IPv4 network to scan."));
    return range;
}

} // namespace Tarnwick
