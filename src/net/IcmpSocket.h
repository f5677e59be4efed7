// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace Tarnwick {

// An ICMP socket, closed with the object. A raw socket where the process may have one
// (CAP_NET_RAW), otherwise the unprivileged ICMP datagram socket where
// net.ipv4.ping_group_range admits the user; fd() is negative when neither can be had.
class IcmpSocket
{
public:
    IcmpSocket();
    ~IcmpSocket();
    IcmpSocket(const IcmpSocket&) = delete;
    IcmpSocket& operator=(const IcmpSocket&) = delete;

    int fd() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    // Raw sockets deliver datagrams with their IPv4 header and see every ICMP datagram;
    // datagram sockets deliver the ICMP message alone, and only replies to their own identifier.
    bool isRaw() const { return m_raw; }

    // Lets only echo replies with this identifier, and the errors that may quote our requests,
    // through to a raw socket, so that a busy network's other ICMP traffic never fills its queue.
    // A datagram socket receives such errors on its error queue (IP_RECVERR).
    void acceptOnlyIdentifier(std::uint16_t identifier);

private:
    int m_fd = -1;
    bool m_raw = false;
};

} // namespace Tarnwick
