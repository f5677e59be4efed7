// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>

namespace Tarnwick {

// How a device's echo requests are made: how much data each carries, and whether it may be
// fragmented on the way. The defaults are the requests the program has always sent; TCP and
// ARP checks ignore these.
struct EchoOptions
{
    // The bytes of echo data behind the ICMP header: the identifier's and the send time's
    // eight, then a counting pattern.
    static constexpr int DefaultPayloadSize = 40;
    // What fits in one IPv4 datagram beside its header and the ICMP header.
    static constexpr int MaxPayloadSize = 65507;

    std::uint16_t payloadSize = DefaultPayloadSize;
    // The request leaves with "don't fragment" and is never fragmented by this host either: one
    // larger than the path carries fails with the path's MTU.
    bool dontFragment = false;
    // How many routers the request may pass (IPv4's time to live, IPv6's hop limit); 0 for the
    // system's default. Traces set it; devices never do.
    std::uint8_t hopLimit = 0;

    bool isDefault() const { return *this == EchoOptions{}; }
    // As the details show it: "Payload: 1200 bytes, don't fragment"; empty for the defaults.
    QString text() const;

    bool operator==(const EchoOptions& other) const = default;
};

} // namespace Tarnwick
