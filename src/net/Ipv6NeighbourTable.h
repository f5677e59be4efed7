// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <array>
#include <cstdint>

namespace Tarnwick {

// The kernel's table of IPv6 neighbours, read over rtnetlink: which hardware address answered
// for which address on which link. Entries still being resolved, or that failed, do not count.
class Ipv6NeighbourTable
{
public:
    using Address = std::array<std::uint8_t, 16>;

    // Reads the kernel's table now (of this network namespace); empty where it cannot.
    static Ipv6NeighbourTable current();
    // The table from the kernel's answer to a dump request (netlink messages one after another).
    static Ipv6NeighbourTable parse(const QByteArray& messages);

    // "aa:bb:cc:dd:ee:ff" in lower case, or empty.
    QString hardwareAddress(int interfaceIndex, const Address& address) const;
    // The same for an address as text: a link-local one on the link its "%interface" names,
    // any other on whichever link it was learnt.
    QString hardwareAddress(const QString& address) const;

private:
    QHash<QByteArray, QString> m_addresses; // by interface index and address
    QHash<QByteArray, QString> m_onAnyLink; // by address
};

} // namespace Tarnwick
