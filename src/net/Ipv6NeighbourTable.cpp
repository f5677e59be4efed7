// SPDX-License-Identifier: GPL-3.0-or-later
#include "Ipv6NeighbourTable.h"

#include "IpAddress.h"
#include "NetlinkDump.h"

#include <cstring>

#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>

namespace Tarnwick {

namespace {

QByteArray key(int interfaceIndex, const std::uint8_t* address)
{
    QByteArray bytes(reinterpret_cast<const char*>(&interfaceIndex), sizeof interfaceIndex);
    bytes.append(reinterpret_cast<const char*>(address), 16);
    return bytes;
}

} // namespace

Ipv6NeighbourTable Ipv6NeighbourTable::current()
{
    ndmsg request{};
    request.ndm_family = AF_INET6;
    return parse(NetlinkDump::request(RTM_GETNEIGH, &request, sizeof request));
}

Ipv6NeighbourTable Ipv6NeighbourTable::parse(const QByteArray& messages)
{
    Ipv6NeighbourTable table;
    int left = int(messages.size());
    for (auto* part = reinterpret_cast<const nlmsghdr*>(messages.constData()); NLMSG_OK(part, left);
         part = NLMSG_NEXT(part, left)) {
        if (part->nlmsg_type != RTM_NEWNEIGH || part->nlmsg_len < NLMSG_LENGTH(sizeof(ndmsg)))
            continue;
        const auto* neighbour = static_cast<const ndmsg*>(NLMSG_DATA(part));
        if (neighbour->ndm_family != AF_INET6 || (neighbour->ndm_state & (NUD_INCOMPLETE | NUD_FAILED | NUD_NOARP))
            || neighbour->ndm_state == NUD_NONE)
            continue;
        const std::uint8_t* address = nullptr;
        const std::uint8_t* hardware = nullptr;
        int attributesLeft = int(part->nlmsg_len - NLMSG_LENGTH(sizeof(ndmsg)));
        for (auto* attribute = reinterpret_cast<const rtattr*>(reinterpret_cast<const char*>(neighbour)
                                                               + NLMSG_ALIGN(sizeof(ndmsg)));
             RTA_OK(attribute, attributesLeft); attribute = RTA_NEXT(attribute, attributesLeft)) {
            const auto* value = static_cast<const std::uint8_t*>(RTA_DATA(attribute));
            if (attribute->rta_type == NDA_DST && RTA_PAYLOAD(attribute) == 16)
                address = value;
            else if (attribute->rta_type == NDA_LLADDR && RTA_PAYLOAD(attribute) == 6)
                hardware = value;
        }
        if (!address || !hardware)
            continue;
        QString text = QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(hardware), 6).toHex(':'));
        if (text != QLatin1String("00:00:00:00:00:00")) {
            table.m_addresses.insert(key(neighbour->ndm_ifindex, address), text);
            table.m_onAnyLink.insert(QByteArray(reinterpret_cast<const char*>(address), 16), text);
        }
    }
    return table;
}

QString Ipv6NeighbourTable::hardwareAddress(int interfaceIndex, const Address& address) const
{
    return m_addresses.value(key(interfaceIndex, address.data()));
}

QString Ipv6NeighbourTable::hardwareAddress(const QString& address) const
{
    const std::optional<IpAddress> parsed = IpAddress::parse(address);
    if (!parsed || !parsed->isIpv6())
        return {};
    if (parsed->scope() != 0)
        return hardwareAddress(int(parsed->scope()), parsed->ipv6());
    return m_onAnyLink.value(QByteArray(reinterpret_cast<const char*>(parsed->ipv6().data()), 16));
}

} // namespace Tarnwick
