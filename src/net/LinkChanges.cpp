// SPDX-License-Identifier: GPL-3.0-or-later
#include "LinkChanges.h"

#include <cerrno>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Tarnwick {

LinkChanges::LinkChanges()
{
    m_fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (m_fd < 0)
        return;
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR;
    if (::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) < 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

LinkChanges::~LinkChanges()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool LinkChanges::taken()
{
    if (m_fd < 0)
        return false;
    // What a notice says does not matter, only that one came: a small buffer takes them all,
    // each datagram cut short if it must be.
    char buffer[4096];
    bool any = false;
    for (;;) {
        const ssize_t received = ::recv(m_fd, buffer, sizeof buffer, MSG_TRUNC);
        if (received >= 0) {
            any = true;
            continue;
        }
        if (errno == EINTR)
            continue;
        return any || errno == ENOBUFS;
    }
}

} // namespace Tarnwick
