// SPDX-License-Identifier: GPL-3.0-or-later
#include "ArpSocket.h"

#include <cerrno>
#include <cstring>
#include <linux/filter.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Tarnwick {

ArpSocket::ArpSocket()
{
    m_fd = ::socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, htons(ETH_P_ARP));
    if (m_fd < 0) {
        m_openError = errno;
        return;
    }
    // Only replies reach the queue: a busy link's requests from everyone else never fill it.
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_H | BPF_ABS, 6), // opcode
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 2, 0, 1), // reply: accept
        BPF_STMT(BPF_RET | BPF_K, 0xFFFF),
        BPF_STMT(BPF_RET | BPF_K, 0),
    };
    sock_fprog program{static_cast<unsigned short>(sizeof code / sizeof code[0]), code};
    ::setsockopt(m_fd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program);
    // Room for the answers of a whole subnet that arrive while the engine sends.
    const int bytes = 1 << 20;
    if (::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

ArpSocket::~ArpSocket()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool ArpSocket::send(int interfaceIndex, const ArpPacket::Bytes& request)
{
    sockaddr_ll destination{};
    destination.sll_family = AF_PACKET;
    destination.sll_protocol = htons(ETH_P_ARP);
    destination.sll_ifindex = interfaceIndex;
    destination.sll_halen = ETH_ALEN;
    std::memset(destination.sll_addr, 0xFF, ETH_ALEN);
    const ssize_t sent = ::sendto(m_fd, request.data(), request.size(), 0,
                                  reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
    return sent == static_cast<ssize_t>(request.size());
}

std::optional<ArpSocket::Received> ArpSocket::receive()
{
    std::uint8_t buffer[256];
    for (;;) {
        sockaddr_ll from{};
        socklen_t fromLength = sizeof from;
        const ssize_t received = ::recvfrom(m_fd, buffer, sizeof buffer, MSG_DONTWAIT,
                                            reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (received < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        // Frames this machine sent itself come back to packet sockets too.
        if (from.sll_pkttype == PACKET_OUTGOING)
            continue;
        if (const auto reply = ArpPacket::parseReply(buffer, static_cast<std::size_t>(received)))
            return Received{*reply, from.sll_ifindex};
    }
}

} // namespace Tarnwick
