// SPDX-License-Identifier: GPL-3.0-or-later
#include "MetricsServer.h"

#include <prometheus/exposer.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace Tarnwick {

namespace {

// The socket address that reaches a server listening at "a.b.c.d:port" or "[v6]:port"; a
// wildcard is reached through loopback.
sockaddr_storage doorOf(const QString& listen, int port)
{
    sockaddr_storage door = {};
    const QString host = listen.left(listen.lastIndexOf(QLatin1Char(':')));
    if (host.startsWith(QLatin1Char('['))) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&door);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(uint16_t(port));
        ::inet_pton(AF_INET6, host.mid(1, host.size() - 2).toLatin1().constData(), &v6->sin6_addr);
        if (IN6_IS_ADDR_UNSPECIFIED(&v6->sin6_addr))
            v6->sin6_addr = in6addr_loopback;
    } else {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&door);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(uint16_t(port));
        ::inet_pton(AF_INET, host.toLatin1().constData(), &v4->sin_addr);
        if (v4->sin_addr.s_addr == htonl(INADDR_ANY))
            v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    return door;
}

} // namespace

MetricsServer::MetricsServer()
    : MetricsServer(Limits{})
{
}

MetricsServer::MetricsServer(Limits limits)
    : m_limits(limits)
{
}

MetricsServer::~MetricsServer()
{
    stop();
}

void MetricsServer::stop()
{
    if (!m_exposer)
        return;
    // The HTTP server's listener looks at its stop flag only when a connection comes in, or
    // after two seconds of waiting for one: quitting would sit that out. So the server is
    // stopped on a thread of its own while this one knocks at its door until it has ended.
    std::mutex mutex;
    std::condition_variable endedChanged;
    bool ended = false;
    std::thread ending;
    try {
        ending = std::thread([&] {
            m_exposer.reset();
            const std::lock_guard lock(mutex);
            ended = true;
            endedChanged.notify_one();
        });
    } catch (const std::system_error&) {
        // No thread to be had: stopped here, it takes as long as it takes.
        m_exposer.reset();
        return;
    }
    std::unique_lock lock(mutex);
    while (!endedChanged.wait_for(lock, std::chrono::milliseconds(20), [&] { return ended; }))
        knock();
    lock.unlock();
    ending.join();
}

void MetricsServer::knock() const
{
    const int fd = ::socket(m_door.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return;
    // Closed at once: a worker that takes the connection reads its end straight away.
    (void)::connect(fd, reinterpret_cast<const sockaddr*>(&m_door),
                    m_door.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in));
    ::close(fd);
}

bool MetricsServer::listen(const MetricsAddress& address, const std::shared_ptr<prometheus::Collectable>& collectable,
                           QString* error)
{
    stop();
    try {
        auto exposer = std::make_unique<prometheus::Exposer>(std::vector<std::string>{
            "listening_ports", address.listen.toStdString(), "num_threads", std::to_string(m_limits.threads),
            "request_timeout_ms", std::to_string(m_limits.requestTimeoutMs)});
        exposer->RegisterCollectable(collectable);
        m_exposer = std::move(exposer);
        m_door = doorOf(address.listen, port());
        return true;
    } catch (const std::exception& failure) {
        if (error)
            *error = QString::fromLocal8Bit(failure.what());
        return false;
    }
}

int MetricsServer::port() const
{
    if (!m_exposer)
        return 0;
    const std::vector<int> ports = m_exposer->GetListeningPorts();
    return ports.empty() ? 0 : ports.front();
}

} // namespace Tarnwick
