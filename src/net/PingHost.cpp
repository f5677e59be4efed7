#include "PingHost.h"

#include "EchoPacket.h"
#include "IcmpSocket.h"
#include "TickCounter.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Tarnwick {

namespace {

bool resolve(const QString& host, in_addr& address)
{
    const std::string name = host.toStdString();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_RAW;
    // Dotted text never goes to a name server.
    for (int flags : {AI_NUMERICHOST, 0}) {
        hints.ai_flags = flags;
        addrinfo* result = nullptr;
        if (::getaddrinfo(name.c_str(), nullptr, &hints, &result) == 0 && result) {
            address = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr;
            ::freeaddrinfo(result);
            return true;
        }
    }
    return false;
}

} // namespace

int pingHost(const QString& host, int timeoutMs, int identifier, int sequence)
{
    IcmpSocket socket;
    if (!socket.isOpen())
        return PingSocketError;

    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    if (!resolve(host, destination.sin_addr))
        return PingSocketError;

    const auto id = static_cast<std::uint16_t>(identifier);
    const auto seq = static_cast<std::uint16_t>(sequence);
    const EchoPacket::Request request = EchoPacket::buildRequest(id, seq, TickCounter::now());
    if (::sendto(socket.fd(), request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&destination),
                 sizeof destination)
        != static_cast<ssize_t>(request.size()))
        return PingSocketError;

    const EchoPacket::Expected expected{destination.sin_addr.s_addr, id, seq, socket.isRaw()};
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
    std::uint8_t buffer[1500];
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd waitFor{socket.fd(), POLLIN, 0};
        const int ready = ::poll(&waitFor, 1, left > 0 ? static_cast<int>(left) : 0);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return PingSocketError;
        }
        if (ready == 0)
            return PingNoReply;

        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t received = ::recvfrom(socket.fd(), buffer, sizeof buffer, MSG_DONTWAIT,
                                            reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (received < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return PingSocketError;
        }
        // Every raw ICMP socket gets a copy of every ICMP datagram: skip all that are not ours.
        const auto sentAt = EchoPacket::matchReply(buffer, static_cast<std::size_t>(received), socket.isRaw(),
                                                   from.sin_addr.s_addr, expected);
        if (sentAt)
            return EchoPacket::elapsed(TickCounter::now(), *sentAt);
    }
}

} // namespace Tarnwick
