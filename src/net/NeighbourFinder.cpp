// SPDX-License-Identifier: GPL-3.0-or-later
#include "NeighbourFinder.h"

#include "Icmpv6Echo.h"
#include "Ipv6NeighbourTable.h"
#include "OuiRegistry.h"

#include <QSet>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Tarnwick {

namespace {

using Clock = std::chrono::steady_clock;

// The links that are up and carry IPv6, by index: where an all-nodes request can go.
std::map<int, QString> linksUp()
{
    std::map<int, QString> links;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return links;
    for (const ifaddrs* it = list; it; it = it->ifa_next) {
        if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET6)
            continue;
        const unsigned flags = it->ifa_flags;
        if (!(flags & IFF_UP) || !(flags & IFF_RUNNING) || (flags & IFF_LOOPBACK) || !(flags & IFF_MULTICAST))
            continue;
        if (const unsigned index = ::if_nametoindex(it->ifa_name))
            links.emplace(int(index), QString::fromLocal8Bit(it->ifa_name));
    }
    ::freeifaddrs(list);
    return links;
}

// An ICMPv6 socket that receives echo replies (a datagram socket gets only the replies to its
// own requests from the kernel); -1 with errno where neither kind can be had.
int openSocket(bool* raw)
{
    int fd = ::socket(AF_INET6, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMPV6);
    *raw = fd < 0;
    if (fd < 0)
        fd = ::socket(AF_INET6, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMPV6);
    if (fd < 0)
        return -1;
    if (*raw) {
        icmp6_filter filter;
        ICMP6_FILTER_SETBLOCKALL(&filter);
        ICMP6_FILTER_SETPASS(ICMP6_ECHO_REPLY, &filter);
        ::setsockopt(fd, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter);
    }
    // This machine is no neighbour of its own.
    const int loop = 0;
    ::setsockopt(fd, IPPROTO_IPV6, IPV6_MULTICAST_LOOP, &loop, sizeof loop);
    return fd;
}

bool sendEcho(int fd, const in6_addr& to, int interfaceIndex, quint16 id, quint16 sequence)
{
    sockaddr_in6 destination{};
    destination.sin6_family = AF_INET6;
    destination.sin6_addr = to;
    destination.sin6_scope_id = std::uint32_t(interfaceIndex);
    const QByteArray message = Icmpv6Echo::request(id, sequence);
    return ::sendto(fd, message.constData(), size_t(message.size()), 0, reinterpret_cast<const sockaddr*>(&destination),
                    sizeof destination)
        == ssize_t(message.size());
}

QString addressText(const in6_addr& address, const QString& interfaceName)
{
    char text[INET6_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET6, &address, text, sizeof text);
    QString shown = QString::fromLatin1(text);
    if (IN6_IS_ADDR_LINKLOCAL(&address))
        shown += QLatin1Char('%') + interfaceName;
    return shown;
}

} // namespace

NeighbourFinder::NeighbourFinder(const OuiRegistry& vendors)
    : m_vendors(vendors)
    , m_fd(openSocket(&m_raw))
    , m_openError(m_fd < 0 ? errno : 0)
{
}

NeighbourFinder::~NeighbourFinder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

NeighbourFinder::Outcome NeighbourFinder::find(int listenMs, const std::atomic<bool>* stop) const
{
    Outcome outcome;
    const std::map<int, QString> links = linksUp();
    if (links.empty()) {
        outcome.error = QStringLiteral("No link with IPv6 is up");
        return outcome;
    }
    const int fd = m_fd;
    const bool raw = m_raw;
    if (fd < 0) {
        outcome.error = QStringLiteral("No ICMPv6 socket: %1").arg(QString::fromLocal8Bit(std::strerror(m_openError)));
        return outcome;
    }
    // Replies that came in after an earlier search ended are not this one's.
    char stale[1500];
    while (::recv(fd, stale, sizeof stale, 0) >= 0) { }
    // A datagram socket's identifier is the kernel's choice, and its replies are ours alone.
    const quint16 id = quint16(::getpid() ^ 0x6e62);
    const quint16 sequence = 1;
    const quint16 ownSequence = 2;
    in6_addr allNodes{};
    ::inet_pton(AF_INET6, "ff02::1", &allNodes);
    const Clock::time_point sent = Clock::now();
    for (const auto& [index, name] : links)
        outcome.linksAsked += sendEcho(fd, allNodes, index, id, sequence) ? 1 : 0;
    if (outcome.linksAsked == 0) {
        outcome.error
            = QStringLiteral("The request could not be sent: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return outcome;
    }

    struct Heard
    {
        in6_addr address;
        int interfaceIndex;
        std::int64_t roundTripUs;
    };
    std::vector<Heard> heard;
    QSet<QByteArray> seen;
    const Clock::time_point end = sent + std::chrono::milliseconds(listenMs);
    for (Clock::time_point now = Clock::now(); now < end && !(stop && stop->load()); now = Clock::now()) {
        // Looks at the stop now and then while nothing comes.
        const auto wait = std::min<std::int64_t>(
            100, std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count() + 1);
        pollfd readable{fd, POLLIN, 0};
        if (::poll(&readable, 1, int(wait)) <= 0)
            continue;
        for (;;) {
            char buffer[1500];
            sockaddr_in6 from{};
            socklen_t fromSize = sizeof from;
            const ssize_t got = ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromSize);
            if (got < 0)
                break;
            const std::optional<Icmpv6Echo::Reply> reply = Icmpv6Echo::parseReply(buffer, got);
            if (!reply || reply->sequence != sequence || (raw && reply->id != id))
                continue;
            const int index = int(from.sin6_scope_id);
            const QByteArray key = QByteArray(reinterpret_cast<const char*>(&from.sin6_addr), 16)
                + QByteArray::number(IN6_IS_ADDR_LINKLOCAL(&from.sin6_addr) ? index : 0);
            if (seen.contains(key))
                continue;
            seen.insert(key);
            heard.push_back({from.sin6_addr, index,
                             std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - sent).count()});
            // Answered to us, so the kernel resolves the host's hardware address.
            sendEcho(fd, from.sin6_addr, index, id, ownSequence);
        }
    }

    const Ipv6NeighbourTable table = Ipv6NeighbourTable::current();
    for (const Heard& host : heard) {
        Neighbour neighbour;
        const auto link = links.find(host.interfaceIndex);
        neighbour.interfaceName = link != links.end() ? link->second : QString::number(host.interfaceIndex);
        neighbour.address = addressText(host.address, neighbour.interfaceName);
        Ipv6NeighbourTable::Address bytes;
        std::memcpy(bytes.data(), &host.address, 16);
        neighbour.hardwareAddress = table.hardwareAddress(host.interfaceIndex, bytes);
        if (!neighbour.hardwareAddress.isEmpty())
            neighbour.vendor = m_vendors.vendor(neighbour.hardwareAddress);
        neighbour.roundTripUs = host.roundTripUs;
        outcome.neighbours.append(neighbour);
    }
    std::sort(outcome.neighbours.begin(), outcome.neighbours.end(), [](const Neighbour& a, const Neighbour& b) {
        return a.interfaceName != b.interfaceName ? a.interfaceName < b.interfaceName : a.address < b.address;
    });
    return outcome;
}

QString NeighbourFinder::summary(const Outcome& outcome)
{
    if (!outcome.error.isEmpty())
        return outcome.error;
    return QStringLiteral("Neighbours found: %1 on %2 %3")
        .arg(outcome.neighbours.size())
        .arg(outcome.linksAsked)
        .arg(outcome.linksAsked == 1 ? QStringLiteral("link") : QStringLiteral("links"));
}

} // namespace Tarnwick
