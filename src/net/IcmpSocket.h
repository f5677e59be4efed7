// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/socket.h>

struct sock_filter;

namespace Tarnwick {

// An ICMP socket (or ICMPv6, for family AF_INET6), closed with the object. A raw socket where
// the process may have one (CAP_NET_RAW), otherwise the unprivileged ICMP datagram socket where
// net.ipv4.ping_group_range admits the user (it rules ICMPv6 too); fd() is negative when
// neither can be had.
class IcmpSocket
{
public:
    explicit IcmpSocket(int family = AF_INET);
    ~IcmpSocket();
    IcmpSocket(const IcmpSocket&) = delete;
    IcmpSocket& operator=(const IcmpSocket&) = delete;

    int fd() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    // Raw IPv4 sockets deliver datagrams with their IPv4 header and see every ICMP datagram (raw
    // ICMPv6 sockets every ICMPv6 message, without the IPv6 header); datagram sockets deliver
    // the ICMP message alone, and only replies to their own identifier.
    bool isRaw() const { return m_raw; }

    // Lets only echo replies with this identifier, and the errors that may quote our requests,
    // through to a raw socket, so that a busy network's other ICMP traffic never fills its queue.
    // A datagram socket receives such errors on its error queue (IP_RECVERR, IPV6_RECVERR).
    void acceptOnlyIdentifier(std::uint16_t identifier);

    // Between these two, what is sent leaves with "don't fragment" (IPv4) or is never
    // fragmented by this host (IPv6): a datagram larger than the path's known MTU fails with
    // EMSGSIZE, and the kernel's error with that MTU (sock_extended_err::ee_info) waits on the
    // error queue until endUnfragmented. The options change only for such sends, so that the
    // others cost nothing more than the send.
    void startUnfragmented();
    void endUnfragmented();

private:
    void openIpv6();
    void setErrorQueue(bool on);
    void attachFilter(sock_filter* code, std::size_t length);

    int m_fd = -1;
    bool m_raw = false;
    int m_family = AF_INET;
    // The IPv4 path MTU discovery the socket came with, which endUnfragmented puts back.
    int m_pathMtuDiscovery = 0;
};

} // namespace Tarnwick
