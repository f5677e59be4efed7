// SPDX-License-Identifier: GPL-3.0-or-later
#include "IpAddress.h"

#include "data/DeviceAddress.h"

#include <arpa/inet.h>
#include <cstring>
#include <net/if.h>
#include <netinet/in.h>

namespace Tarnwick {

IpAddress IpAddress::ipv4(std::uint32_t networkOrder)
{
    IpAddress address;
    address.m_ipv4 = networkOrder;
    return address;
}

IpAddress IpAddress::ipv6(const Ipv6Bytes& bytes, std::uint32_t scope)
{
    IpAddress address;
    address.m_isIpv6 = true;
    address.m_ipv6 = bytes;
    address.m_scope = scope;
    return address;
}

std::optional<IpAddress> IpAddress::parse(const QString& typed)
{
    const QString text = DeviceAddress::probed(typed);
    const QByteArray latin = text.toLatin1();
    if (!text.contains(QLatin1Char(':'))) {
        in_addr v4{};
        // Only the four-part dotted form: "10.1" or "0x7f.1" are not addresses a user types.
        if (::inet_pton(AF_INET, latin.constData(), &v4) != 1)
            return std::nullopt;
        return ipv4(v4.s_addr);
    }
    const qsizetype percent = latin.indexOf('%');
    in6_addr v6{};
    if (::inet_pton(AF_INET6, latin.left(percent < 0 ? latin.size() : percent).constData(), &v6) != 1)
        return std::nullopt;
    unsigned scope = 0;
    if (percent >= 0) {
        // An interface's name, or its number.
        const QByteArray interface = latin.mid(percent + 1);
        bool isNumber = false;
        scope = interface.toUInt(&isNumber);
        if (!isNumber)
            scope = ::if_nametoindex(interface.constData());
        if (scope == 0)
            return std::nullopt;
    }
    Ipv6Bytes bytes;
    std::memcpy(bytes.data(), &v6, bytes.size());
    return ipv6(bytes, scope);
}

QString IpAddress::toString() const
{
    char text[INET6_ADDRSTRLEN] = {};
    if (m_isIpv6)
        ::inet_ntop(AF_INET6, m_ipv6.data(), text, sizeof text);
    else
        ::inet_ntop(AF_INET, &m_ipv4, text, sizeof text);
    return QString::fromLatin1(text);
}

} // namespace Tarnwick
