// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QString>

namespace Tarnwick {

// The kernel's table of IPv4 neighbours on the local links (/proc/net/arp): which hardware
// address answered for which address. Only complete entries count.
class NeighbourTable
{
public:
    // Reads the kernel's table now.
    static NeighbourTable current();
    // The table from the text of /proc/net/arp; lines that do not fit are skipped.
    static NeighbourTable parse(const QByteArray& text);

    // "aa:bb:cc:dd:ee:ff" in lower case, or empty.
    QString hardwareAddress(const QString& ip) const { return m_addresses.value(ip); }

private:
    QHash<QString, QString> m_addresses;
};

} // namespace Tarnwick
