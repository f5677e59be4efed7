// SPDX-License-Identifier: GPL-3.0-or-later
#include "NetlinkDump.h"

#include <cstring>

#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Tarnwick {

QByteArray NetlinkDump::request(std::uint16_t type, const void* body, std::size_t size)
{
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return {};
    QByteArray message(int(NLMSG_LENGTH(size)), '\0');
    auto* header = reinterpret_cast<nlmsghdr*>(message.data());
    header->nlmsg_len = std::uint32_t(message.size());
    header->nlmsg_type = type;
    header->nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    header->nlmsg_seq = 1;
    std::memcpy(NLMSG_DATA(header), body, size);
    QByteArray answer;
    timeval limit{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    if (::send(fd, message.constData(), size_t(message.size()), 0) == ssize_t(message.size())) {
        // The dump comes in parts, the last of which is NLMSG_DONE (or an error).
        alignas(nlmsghdr) char buffer[32768];
        for (bool done = false; !done;) {
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            answer.append(buffer, got);
            int left = int(got);
            for (auto* part = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(part, left); part = NLMSG_NEXT(part, left))
                done = done || part->nlmsg_type == NLMSG_DONE || part->nlmsg_type == NLMSG_ERROR;
        }
    }
    ::close(fd);
    return answer;
}

} // namespace Tarnwick
