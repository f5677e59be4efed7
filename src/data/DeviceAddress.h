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
    // when it can. The device dialogs, the device list file and the monitor all ask this one
    // question, so an address reads the same wherever it was typed. A link-local address's
    // interface must be one of this machine's.
    static QString problem(const QString& text);
    // The address that is probed for the text: the IPv4 address that an IPv4-mapped IPv6
    // address (::ffff:192.0.2.1) carries, in dotted form; any other text as it is.
    static QString probed(const QString& text);
    // Dotted IPv4 text as the number it stands for; -1 for anything else (a host name).
    static qint64 ipv4Number(const QString& text);
    // What addresses sort by: IPv4 addresses by their number before IPv6 addresses by theirs (a
    // link-local one's interface left aside). Empty for a host name.
    static QByteArray sortKey(const QString& text);
};

} // namespace Tarnwick
