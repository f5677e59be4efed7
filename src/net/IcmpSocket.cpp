// SPDX-License-Identifier: GPL-3.0-or-later
#include "IcmpSocket.h"

#include <linux/filter.h>
#include <linux/icmp.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Tarnwick {

namespace {

// Room for the replies of a scan that are waiting to be read.
constexpr int ReceiveBufferBytes = 1 << 20;

} // namespace

IcmpSocket::IcmpSocket(int family)
    : m_family(family)
{
    if (family == AF_INET6) {
        openIpv6();
    } else {
        for (int attempt = 0; attempt < 2 && m_fd < 0; ++attempt)
            m_fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (m_fd >= 0) {
            m_raw = true;
            icmp_filter filter{};
            filter.data = ~(1u << ICMP_ECHOREPLY | 1u << ICMP_DEST_UNREACH | 1u << ICMP_TIME_EXCEEDED);
            ::setsockopt(m_fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
        } else {
            m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
            // A datagram socket hands the network's errors about our requests to its error queue.
            const int on = 1;
            if (m_fd >= 0)
                ::setsockopt(m_fd, SOL_IP, IP_RECVERR, &on, sizeof on);
        }
    }
    if (m_fd < 0)
        return;
    if (family == AF_INET) {
        socklen_t length = sizeof m_pathMtuDiscovery;
        ::getsockopt(m_fd, SOL_IP, IP_MTU_DISCOVER, &m_pathMtuDiscovery, &length);
    }
    // Each reply carries the time the kernel took it in: a round trip then leaves out how long
    // the engine took to wake.
    const int stamp = 1;
    ::setsockopt(m_fd, SOL_SOCKET, SO_TIMESTAMPNS, &stamp, sizeof stamp);
    // Past the system's limit only with the right to (root); otherwise as far as it allows.
    if (::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &ReceiveBufferBytes, sizeof ReceiveBufferBytes) != 0)
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &ReceiveBufferBytes, sizeof ReceiveBufferBytes);
}

void IcmpSocket::openIpv6()
{
    m_fd = ::socket(AF_INET6, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMPV6);
    const int on = 1;
    if (m_fd >= 0) {
        m_raw = true;
        icmp6_filter filter;
        ICMP6_FILTER_SETBLOCKALL(&filter);
        ICMP6_FILTER_SETPASS(ICMP6_ECHO_REPLY, &filter);
        ICMP6_FILTER_SETPASS(ICMP6_DST_UNREACH, &filter);
        ICMP6_FILTER_SETPASS(ICMP6_PACKET_TOO_BIG, &filter);
        ICMP6_FILTER_SETPASS(ICMP6_TIME_EXCEEDED, &filter);
        ::setsockopt(m_fd, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter);
    } else {
        m_fd = ::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMPV6);
        if (m_fd >= 0)
            ::setsockopt(m_fd, SOL_IPV6, IPV6_RECVERR, &on, sizeof on);
    }
}

IcmpSocket::~IcmpSocket()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void IcmpSocket::acceptOnlyIdentifier(std::uint16_t identifier)
{
    if (!m_raw)
        return;
    if (m_family == AF_INET6) {
        // ICMPv6 messages come without the IPv6 header, the identifier in network byte order.
        sock_filter code[] = {
            BPF_STMT(BPF_LD | BPF_B | BPF_ABS, 0), // type
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ICMP6_DST_UNREACH, 5, 0), // accept
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ICMP6_PACKET_TOO_BIG, 4, 0), // accept
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ICMP6_TIME_EXCEEDED, 3, 0), // accept
            BPF_STMT(BPF_LD | BPF_H | BPF_ABS, 4), // identifier of an echo reply (the socket's filter)
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, identifier, 1, 0), // ours: accept
            BPF_STMT(BPF_RET | BPF_K, 0),
            BPF_STMT(BPF_RET | BPF_K, 0xFFFF),
        };
        attachFilter(code, sizeof code / sizeof code[0]);
        return;
    }
    // The identifier travels least significant byte first; a 16-bit load reads it the other
    // way round.
    const auto loaded = std::uint32_t((identifier & 0xFF) << 8 | identifier >> 8);
    // Errors (destination unreachable, time exceeded) are rare and pass whole: whether they
    // quote a request of ours is read from the quoted request itself.
    sock_filter code[] = {
        BPF_STMT(BPF_LDX | BPF_B | BPF_MSH, 0), // X = length of the IPv4 header
        BPF_STMT(BPF_LD | BPF_B | BPF_IND, 0), // ICMP type
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ICMP_DEST_UNREACH, 7, 0), // accept
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ICMP_TIME_EXCEEDED, 6, 0), // accept
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ICMP_ECHOREPLY, 0, 4), // echo reply, or drop
        BPF_STMT(BPF_LD | BPF_B | BPF_IND, 1), // code
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 0, 0, 2), // 0, or drop
        BPF_STMT(BPF_LD | BPF_H | BPF_IND, 4), // identifier
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, loaded, 1, 0), // ours: accept
        BPF_STMT(BPF_RET | BPF_K, 0),
        BPF_STMT(BPF_RET | BPF_K, 0xFFFF),
    };
    attachFilter(code, sizeof code / sizeof code[0]);
}

void IcmpSocket::startUnfragmented()
{
    const int on = 1;
    if (m_family == AF_INET6) {
        ::setsockopt(m_fd, SOL_IPV6, IPV6_DONTFRAG, &on, sizeof on);
    } else {
        const int discovery = IP_PMTUDISC_DO;
        ::setsockopt(m_fd, SOL_IP, IP_MTU_DISCOVER, &discovery, sizeof discovery);
    }
    // A datagram socket has its error queue on for good; a raw one only now, since every ICMP
    // error would otherwise wait there twice over (it reads them as datagrams).
    if (m_raw)
        setErrorQueue(true);
}

void IcmpSocket::endUnfragmented()
{
    const int off = 0;
    if (m_family == AF_INET6)
        ::setsockopt(m_fd, SOL_IPV6, IPV6_DONTFRAG, &off, sizeof off);
    else
        ::setsockopt(m_fd, SOL_IP, IP_MTU_DISCOVER, &m_pathMtuDiscovery, sizeof m_pathMtuDiscovery);
    // Turned off, the error queue is emptied too.
    if (m_raw)
        setErrorQueue(false);
}

void IcmpSocket::setErrorQueue(bool on)
{
    const int value = on ? 1 : 0;
    if (m_family == AF_INET6)
        ::setsockopt(m_fd, SOL_IPV6, IPV6_RECVERR, &value, sizeof value);
    else
        ::setsockopt(m_fd, SOL_IP, IP_RECVERR, &value, sizeof value);
}

void IcmpSocket::attachFilter(sock_filter* code, std::size_t length)
{
    sock_fprog program{static_cast<unsigned short>(length), code};
    ::setsockopt(m_fd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program);
}

} // namespace Tarnwick
