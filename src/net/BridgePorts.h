// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QSet>

namespace Tarnwick {

// The interfaces that are ports of a bridge (those with /sys/class/net/<name>/brport): what
// comes in on one is the bridge's, so such a port is no link of its own. Read over rtnetlink,
// which answers for the caller's own network namespace.
class BridgePorts
{
public:
    // Reads the kernel's links now; none where it cannot.
    static BridgePorts current();
    // From the kernel's answer to a dump of the links (netlink messages one after another).
    static BridgePorts parse(const QByteArray& messages);

    bool contains(int interfaceIndex) const { return m_ports.contains(interfaceIndex); }

private:
    QSet<int> m_ports;
};

} // namespace Tarnwick
