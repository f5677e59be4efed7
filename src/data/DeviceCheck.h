// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>

namespace Tarnwick {

// How the monitor asks whether a device is there: an echo request (the default), a TCP
// connection to one of its ports, or an ARP question on the local link.
struct DeviceCheck
{
    enum Kind { Echo, TcpPort, Arp };

    Kind kind = Echo;
    // The port of a TcpPort check, 1 to 65535; 0 otherwise.
    std::uint16_t port = 0;

    static DeviceCheck tcp(std::uint16_t port) { return {TcpPort, port}; }
    static DeviceCheck arp() { return {Arp, 0}; }

    // As the device list file keeps it: empty for an echo, "tcp:443" or "arp". Text that is
    // none of these (a later version's check, a hand-edited file) reads as an echo.
    QString attribute() const;
    static DeviceCheck fromAttribute(QStringView text);
    // As the program shows it: "ICMP echo", "TCP port 443" or "ARP".
    QString text() const;

    bool operator==(const DeviceCheck& other) const = default;
};

} // namespace Tarnwick
