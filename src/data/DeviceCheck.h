// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>

namespace Tarnwick {

// How the monitor asks whether a device is there: an echo request (the default), a TCP
// connection to one of its ports, or an ARP question on the local link. A check the device
// list gives in text that reads as none of these is Unreadable: the device is not probed
// another way behind the user's back, and the text is kept to be written back as it came.
struct DeviceCheck
{
    enum Kind { Echo, TcpPort, Arp, Unreadable };

    Kind kind = Echo;
    // The port of a TcpPort check, 1 to 65535; 0 otherwise.
    std::uint16_t port = 0;
    // The file's text of an Unreadable check; empty otherwise.
    QString written = {};

    static DeviceCheck tcp(std::uint16_t port) { return {TcpPort, port}; }
    static DeviceCheck arp() { return {Arp, 0}; }

    // As the device list file keeps it: empty for an echo, "tcp:443" or "arp". Other text (a
    // later version's check, a hand-edited "tcp:0") reads as Unreadable and is written back
    // unchanged.
    QString attribute() const;
    static DeviceCheck fromAttribute(QStringView text);
    // As the MoreChecks attribute lists a check among others: attribute(), and "echo" for an
    // echo, whose attribute() is empty.
    QString word() const;
    static DeviceCheck fromWord(QStringView text);
    // As a reason names the check that failed: "ICMP echo", "TCP 443", "ARP".
    QString shortText() const;
    // As the program shows it: "ICMP echo", "TCP port 443", "ARP", or for text that does not
    // read: the check "tcp:0" cannot be read.
    QString text() const;
    // Why this check cannot ask the (probed) address, for the user to read; empty when it can.
    // The device dialogs and the API refuse the same pairs with the same words.
    QString problemWith(const QString& probedAddress) const;

    bool operator==(const DeviceCheck& other) const = default;
};

} // namespace Tarnwick
