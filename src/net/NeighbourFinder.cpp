// SPDX-License-Identifier: GPL-3.0-or-later
#include "NeighbourFinder.h"

#include "BridgePorts.h"
#include "Icmpv6Echo.h"
#include "Ipv6NeighbourTable.h"
#include "OuiRegistry.h"
#include "data/PhraseBook.h"

#include <QScopeGuard>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <optional>
#include <vector>

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

struct Link
{
    QString name;
    // An address of this machine's on the link that is not link-local, where it has one: asked
    // from it, hosts answer from theirs.
    std::optional<in6_addr> global;
};

// The links that are up and carry IPv6, by index: where an all-nodes request can go. A port of
// a bridge is none: what it hears is the bridge's.
std::map<int, Link> linksUp()
{
    std::map<int, Link> links;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return links;
    const BridgePorts ports = BridgePorts::current();
    for (const ifaddrs* it = list; it; it = it->ifa_next) {
        if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET6)
            continue;
        const unsigned flags = it->ifa_flags;
        if (!(flags & IFF_UP) || !(flags & IFF_RUNNING) || (flags & IFF_LOOPBACK) || !(flags & IFF_MULTICAST))
            continue;
        const auto index = int(::if_nametoindex(it->ifa_name));
        if (index == 0 || ports.contains(index))
            continue;
        Link& link = links[index];
        link.name = QString::fromLocal8Bit(it->ifa_name);
        const in6_addr& address = reinterpret_cast<const sockaddr_in6*>(it->ifa_addr)->sin6_addr;
        if (!link.global && !IN6_IS_ADDR_LINKLOCAL(&address) && !IN6_IS_ADDR_LOOPBACK(&address))
            link.global = address;
    }
    ::freeifaddrs(list);
    return links;
}

// What every socket of the search needs: this machine is no neighbour of its own, and each
// reply says which link it came in on (a global source has no scope to tell it).
void prepare(int fd)
{
    const int loop = 0;
    ::setsockopt(fd, IPPROTO_IPV6, IPV6_MULTICAST_LOOP, &loop, sizeof loop);
    const int on = 1;
    ::setsockopt(fd, IPPROTO_IPV6, IPV6_RECVPKTINFO, &on, sizeof on);
}

// A datagram socket asks from the address it is bound to, whatever a request says: one bound
// to a link's global address asks from it. -1 where none can be had.
int boundTo(const in6_addr& address)
{
    const int fd = ::socket(AF_INET6, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMPV6);
    if (fd < 0)
        return -1;
    sockaddr_in6 local{};
    local.sin6_family = AF_INET6;
    local.sin6_addr = address;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        return -1;
    }
    prepare(fd);
    return fd;
}

// One datagram, with the link it came in on.
ssize_t receive(int fd, char* buffer, size_t size, sockaddr_in6* from, int* interfaceIndex)
{
    iovec part{buffer, size};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in6_pktinfo))];
    msghdr header{};
    header.msg_name = from;
    header.msg_namelen = sizeof *from;
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    const ssize_t got = ::recvmsg(fd, &header, 0);
    *interfaceIndex = int(from->sin6_scope_id);
    for (cmsghdr* option = got >= 0 ? CMSG_FIRSTHDR(&header) : nullptr; option; option = CMSG_NXTHDR(&header, option)) {
        if (option->cmsg_level == IPPROTO_IPV6 && option->cmsg_type == IPV6_PKTINFO) {
            in6_pktinfo arrival{};
            std::memcpy(&arrival, CMSG_DATA(option), sizeof arrival);
            *interfaceIndex = int(arrival.ipi6_ifindex);
        }
    }
    return got;
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
    prepare(fd);
    return fd;
}

// from: the source address where the kernel's own choice (link-local for ff02::1) is not wanted;
// a raw socket takes it, a datagram one keeps the address it is bound to.
bool sendEcho(int fd, const in6_addr& to, int interfaceIndex, quint16 id, quint16 sequence,
              const std::optional<in6_addr>& from = std::nullopt)
{
    sockaddr_in6 destination{};
    destination.sin6_family = AF_INET6;
    destination.sin6_addr = to;
    destination.sin6_scope_id = std::uint32_t(interfaceIndex);
    QByteArray message = Icmpv6Echo::request(id, sequence);
    iovec part{message.data(), size_t(message.size())};
    msghdr header{};
    header.msg_name = &destination;
    header.msg_namelen = sizeof destination;
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in6_pktinfo))] = {};
    if (from) {
        header.msg_control = control;
        header.msg_controllen = sizeof control;
        cmsghdr* option = CMSG_FIRSTHDR(&header);
        option->cmsg_level = IPPROTO_IPV6;
        option->cmsg_type = IPV6_PKTINFO;
        option->cmsg_len = CMSG_LEN(sizeof(in6_pktinfo));
        in6_pktinfo source{};
        source.ipi6_addr = *from;
        source.ipi6_ifindex = unsigned(interfaceIndex);
        std::memcpy(CMSG_DATA(option), &source, sizeof source);
    }
    return ::sendmsg(fd, &header, 0) == ssize_t(message.size());
}

bool isLinkLocal(const QString& address)
{
    return address.contains(QLatin1Char('%'));
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
    const std::map<int, Link> links = linksUp();
    if (links.empty()) {
        outcome.error = QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "No link with IPv6 is up"));
        return outcome;
    }
    const int fd = m_fd;
    const bool raw = m_raw;
    if (fd < 0) {
        outcome.error = PhraseBook::english(PhraseBook::NoIcmpv6Socket,
                                            {QString::fromLocal8Bit(std::strerror(m_openError))});
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
    // Hosts answer a link-local source from their link-local address alone: each link is asked
    // from its global address too, through a socket bound to it where the socket is a datagram one.
    std::vector<int> sockets{fd};
    const auto closeBound = qScopeGuard([&sockets] {
        for (std::size_t i = 1; i < sockets.size(); ++i)
            ::close(sockets[i]);
    });
    const Clock::time_point sent = Clock::now();
    for (const auto& [index, link] : links) {
        bool asked = sendEcho(fd, allNodes, index, id, sequence);
        if (link.global && raw) {
            asked = sendEcho(fd, allNodes, index, id, sequence, link.global) || asked;
        } else if (link.global) {
            if (const int bound = boundTo(*link.global); bound >= 0) {
                sockets.push_back(bound);
                asked = sendEcho(bound, allNodes, index, id, sequence) || asked;
            }
        }
        outcome.linksAsked += asked ? 1 : 0;
    }
    if (outcome.linksAsked == 0) {
        outcome.error = PhraseBook::english(PhraseBook::RequestNotSent, {QString::fromLocal8Bit(std::strerror(errno))});
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
        std::vector<pollfd> readable;
        for (const int socket : sockets)
            readable.push_back({socket, POLLIN, 0});
        if (::poll(readable.data(), nfds_t(readable.size()), int(wait)) <= 0)
            continue;
        for (const pollfd& ready : readable) {
            if (!(ready.revents & POLLIN))
                continue;
            char buffer[1500];
            sockaddr_in6 from{};
            int index = 0;
            const ssize_t got = receive(ready.fd, buffer, sizeof buffer, &from, &index);
            if (got < 0)
                continue;
            const std::optional<Icmpv6Echo::Reply> reply = Icmpv6Echo::parseReply(buffer, got);
            if (!reply || reply->sequence != sequence || (raw && reply->id != id))
                continue;
            const QByteArray key = QByteArray(reinterpret_cast<const char*>(&from.sin6_addr), 16)
                + QByteArray::number(IN6_IS_ADDR_LINKLOCAL(&from.sin6_addr) ? index : 0);
            if (seen.contains(key))
                continue;
            seen.insert(key);
            heard.push_back({from.sin6_addr, index,
                             std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - sent).count()});
            // Answered to us, so the kernel resolves the host's hardware address.
            sendEcho(ready.fd, from.sin6_addr, index, id, ownSequence);
        }
    }

    const Ipv6NeighbourTable table = Ipv6NeighbourTable::current();
    for (const Heard& host : heard) {
        Neighbour neighbour;
        const auto link = links.find(host.interfaceIndex);
        neighbour.interfaceName = link != links.end() ? link->second.name : QString::number(host.interfaceIndex);
        neighbour.address = addressText(host.address, neighbour.interfaceName);
        Ipv6NeighbourTable::Address bytes;
        std::memcpy(bytes.data(), &host.address, 16);
        neighbour.hardwareAddress = table.hardwareAddress(host.interfaceIndex, bytes);
        if (!neighbour.hardwareAddress.isEmpty())
            neighbour.vendor = m_vendors.vendor(neighbour.hardwareAddress);
        neighbour.roundTripUs = host.roundTripUs;
        outcome.neighbours.append(neighbour);
    }
    // A host known by a global address is listed by it: its link-local one is only good on
    // this link, and changes with nothing the user set.
    QSet<QString> global;
    for (const Neighbour& neighbour : std::as_const(outcome.neighbours)) {
        if (!neighbour.hardwareAddress.isEmpty() && !isLinkLocal(neighbour.address))
            global.insert(neighbour.interfaceName + QLatin1Char(' ') + neighbour.hardwareAddress);
    }
    outcome.neighbours.removeIf([&global](const Neighbour& neighbour) {
        return isLinkLocal(neighbour.address)
            && global.contains(neighbour.interfaceName + QLatin1Char(' ') + neighbour.hardwareAddress);
    });
    std::sort(outcome.neighbours.begin(), outcome.neighbours.end(), [](const Neighbour& a, const Neighbour& b) {
        return a.interfaceName != b.interfaceName ? a.interfaceName < b.interfaceName : a.address < b.address;
    });
    return outcome;
}

QString NeighbourFinder::summary(const Outcome& outcome)
{
    if (!outcome.error.isEmpty())
        return outcome.error;
    return PhraseBook::english(PhraseBook::NeighboursFound, {QString::number(outcome.neighbours.size())},
                               outcome.linksAsked);
}

} // namespace Tarnwick
