// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMetaType>
#include <QString>

namespace Tarnwick {

// One address heard on the network with the hardware address it answered from.
struct NetworkSighting
{
    QString address; // "10.0.0.23", or an IPv6 address ("fe80::1%eth0" where only meaningful on its link)
    QString hardwareAddress; // "aa:bb:cc:dd:ee:ff", lower case; empty where none was learnt
    QString interfaceName; // the link it was heard on

    bool operator==(const NetworkSighting& other) const = default;
};

} // namespace Tarnwick

Q_DECLARE_METATYPE(Tarnwick::NetworkSighting)
