// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServerDoor.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

namespace Tarnwick {

ServerDoor::ServerDoor(const QString& listen, int port)
{
    const QString host = listen.left(listen.lastIndexOf(QLatin1Char(':')));
    if (host.startsWith(QLatin1Char('['))) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&m_door);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(uint16_t(port));
        ::inet_pton(AF_INET6, host.mid(1, host.size() - 2).toLatin1().constData(), &v6->sin6_addr);
        if (IN6_IS_ADDR_UNSPECIFIED(&v6->sin6_addr))
            v6->sin6_addr = in6addr_loopback;
    } else {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&m_door);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(uint16_t(port));
        ::inet_pton(AF_INET, host.toLatin1().constData(), &v4->sin_addr);
        if (v4->sin_addr.s_addr == htonl(INADDR_ANY))
            v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
}

void ServerDoor::stopWhileKnocking(const std::function<void()>& stopServer) const
{
    std::mutex mutex;
    std::condition_variable endedChanged;
    bool ended = false;
    std::thread ending;
    try {
        ending = std::thread([&] {
            stopServer();
            const std::lock_guard lock(mutex);
            ended = true;
            endedChanged.notify_one();
        });
    } catch (const std::system_error&) {
        // No thread to be had: stopped here, it takes as long as it takes.
        stopServer();
        return;
    }
    std::unique_lock lock(mutex);
    while (!endedChanged.wait_for(lock, std::chrono::milliseconds(20), [&] { return ended; }))
        knock();
    lock.unlock();
    ending.join();
}

QString ServerDoor::bindProblem() const
{
    const int fd = ::socket(m_door.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    const int yes = 1;
    (void)::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&m_door),
                              m_door.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in))
        == 0;
    const int error = errno;
    ::close(fd);
    return bound ? QString() : QString::fromLocal8Bit(std::strerror(error));
}

void ServerDoor::knock() const
{
    const int fd = ::socket(m_door.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return;
    // Closed at once: a worker that takes the connection reads its end straight away.
    (void)::connect(fd, reinterpret_cast<const sockaddr*>(&m_door),
                    m_door.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in));
    ::close(fd);
}

} // namespace Tarnwick
