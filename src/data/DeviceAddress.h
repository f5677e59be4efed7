// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

namespace Tarnwick {

// What may stand as a device's address: an IPv4 address in dotted form, an IPv6 address (a
// link-local one with its interface, as in fe80::1%eth0), or a host name.
class DeviceAddress
{
public:
    // The address as it is kept: white space around it removed.
    static QString normalised(const QString& text);
    // Why the (normalised) text cannot be a device's address, for the user to read; empty
    // when it can.
    static QString problem(const QString& text);
    // Dotted IPv4 text as the number it stands for; -1 for anything else (a host name).
    static qint64 ipv4Number(const QString& text);
    // What addresses sort by: IPv4 addresses by their number before IPv6 addresses by theirs (a
    // link-local one's interface left aside). Empty for a host name.
    static QByteArray sortKey(const QString& text);
};

} // namespace Tarnwick
