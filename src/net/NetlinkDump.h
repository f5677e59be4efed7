// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace Tarnwick {

// One dump request to the kernel's routing netlink (the neighbours, the links) of this network
// namespace, and its answer.
class NetlinkDump
{
public:
    // type: RTM_GETNEIGH, RTM_GETLINK, ...; body: the request's fixed header (an ndmsg, an
    // ifinfomsg). The answer's messages one after another, up to the last part; empty where the
    // kernel cannot be asked.
    static QByteArray request(std::uint16_t type, const void* body, std::size_t size);
};

} // namespace Tarnwick
