// SPDX-License-Identifier: GPL-3.0-or-later
#include "BridgePorts.h"

#include "NetlinkDump.h"

#include <QHash>

#include <cstring>

#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

namespace Tarnwick {

BridgePorts BridgePorts::current()
{
    ifinfomsg request{};
    request.ifi_family = AF_UNSPEC;
    return parse(NetlinkDump::request(RTM_GETLINK, &request, sizeof request));
}

BridgePorts BridgePorts::parse(const QByteArray& messages)
{
    QSet<int> bridges;
    QHash<int, int> masterOf;
    int left = int(messages.size());
    for (auto* part = reinterpret_cast<const nlmsghdr*>(messages.constData()); NLMSG_OK(part, left);
         part = NLMSG_NEXT(part, left)) {
        if (part->nlmsg_type != RTM_NEWLINK || part->nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg)))
            continue;
        const auto* link = static_cast<const ifinfomsg*>(NLMSG_DATA(part));
        int attributesLeft = int(IFLA_PAYLOAD(part));
        for (auto* attribute = reinterpret_cast<const rtattr*>(reinterpret_cast<const char*>(link)
                                                               + NLMSG_ALIGN(sizeof(ifinfomsg)));
             RTA_OK(attribute, attributesLeft); attribute = RTA_NEXT(attribute, attributesLeft)) {
            if (attribute->rta_type == IFLA_MASTER && RTA_PAYLOAD(attribute) >= sizeof(int)) {
                int master = 0;
                std::memcpy(&master, RTA_DATA(attribute), sizeof master);
                masterOf.insert(link->ifi_index, master);
            } else if (attribute->rta_type == IFLA_LINKINFO) {
                // Nested: the kind of the link ("bridge", "veth", ...) as text.
                int infoLeft = int(RTA_PAYLOAD(attribute));
                for (auto* info = static_cast<const rtattr*>(RTA_DATA(attribute)); RTA_OK(info, infoLeft);
                     info = RTA_NEXT(info, infoLeft)) {
                    if (info->rta_type == IFLA_INFO_KIND
                        && QByteArray(static_cast<const char*>(RTA_DATA(info)), int(RTA_PAYLOAD(info)))
                                .split('\0')
                                .first()
                            == "bridge")
                        bridges.insert(link->ifi_index);
                }
            }
        }
    }
    BridgePorts ports;
    for (auto it = masterOf.cbegin(); it != masterOf.cend(); ++it) {
        if (bridges.contains(it.value()))
            ports.m_ports.insert(it.key());
    }
    return ports;
}

} // namespace Tarnwick
