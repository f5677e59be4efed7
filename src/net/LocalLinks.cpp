// SPDX-License-Identifier: GPL-3.0-or-later
#include "LocalLinks.h"

#include <cstring>
#include <map>
#include <string>

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>

namespace Tarnwick {

LocalLinks LocalLinks::current()
{
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return LocalLinks();
    // Every interface is listed once with its link-layer address, and once per IPv4 address.
    std::map<std::string, Link> ethernet;
    for (const ifaddrs* it = list; it; it = it->ifa_next) {
        if (!it->ifa_addr || it->ifa_addr->sa_family != AF_PACKET)
            continue;
        const auto* link = reinterpret_cast<const sockaddr_ll*>(it->ifa_addr);
        const unsigned flags = it->ifa_flags;
        if (!(flags & IFF_UP) || (flags & (IFF_LOOPBACK | IFF_NOARP | IFF_POINTOPOINT))
            || link->sll_hatype != ARPHRD_ETHER || link->sll_halen != 6)
            continue;
        Link entry;
        entry.interfaceIndex = link->sll_ifindex;
        std::memcpy(entry.hardware.data(), link->sll_addr, 6);
        ethernet[it->ifa_name] = entry;
    }
    std::vector<Link> links;
    for (const ifaddrs* it = list; it; it = it->ifa_next) {
        if (!it->ifa_addr || !it->ifa_netmask || it->ifa_addr->sa_family != AF_INET)
            continue;
        const auto found = ethernet.find(it->ifa_name);
        if (found == ethernet.end())
            continue;
        Link entry = found->second;
        entry.address = reinterpret_cast<const sockaddr_in*>(it->ifa_addr)->sin_addr.s_addr;
        entry.mask = reinterpret_cast<const sockaddr_in*>(it->ifa_netmask)->sin_addr.s_addr;
        links.push_back(entry);
    }
    ::freeifaddrs(list);
    return LocalLinks(std::move(links));
}

std::optional<LocalLinks::Link> LocalLinks::linkFor(std::uint32_t address) const
{
    for (const Link& link : m_links)
        if (address == link.address)
            return std::nullopt;
    // Of networks that overlap, the narrowest holds the address, as the kernel's routes say.
    const Link* narrowest = nullptr;
    for (const Link& link : m_links) {
        if ((address & link.mask) == (link.address & link.mask)
            && (!narrowest || ntohl(link.mask) > ntohl(narrowest->mask)))
            narrowest = &link;
    }
    if (!narrowest)
        return std::nullopt;
    // A /31 or /32 has no network and broadcast address of its own.
    const std::uint32_t mask = narrowest->mask;
    if (ntohl(mask) < 0xFFFFFFFEu && ((address & ~mask) == 0 || (address | mask) == 0xFFFFFFFFu))
        return std::nullopt;
    return *narrowest;
}

} // namespace Tarnwick
