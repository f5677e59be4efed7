// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProbeEngine.h"

#include "EchoPacket.h"
#include "NetLogging.h"
#include "QuickScanWait.h"
#include "TickCounter.h"
#include "data/PhraseBook.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace Tarnwick {

namespace {

constexpr std::size_t IcmpHeaderSize = 8;

// The most requests sent between two reads of the socket: a 1 MiB receive buffer holds about
// 1,300 echo replies.
constexpr int MaxSendsPerTurn = 256;

std::int64_t nanoseconds(const timespec& ts)
{
    return std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

std::int64_t clockNs(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return nanoseconds(ts);
}

std::int64_t monotonicNs()
{
    return clockNs(CLOCK_MONOTONIC);
}

// Takes one datagram from the socket without waiting: its sender (or, from the error queue,
// its destination) into peer, its ancillary data into control. A signal does not end the
// reading; less than 0 once there is nothing more to take.
ssize_t receiveOne(int fd, int flags, void* buffer, std::size_t size, void* peer, socklen_t peerSize, void* control,
                   std::size_t controlSize, msghdr& message)
{
    iovec data{buffer, size};
    for (;;) {
        message = msghdr{};
        message.msg_name = peer;
        message.msg_namelen = peerSize;
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = controlSize;
        const ssize_t received = ::recvmsg(fd, &message, flags | MSG_DONTWAIT);
        // Only the ancillary data is read from the header afterwards.
        message.msg_iov = nullptr;
        message.msg_iovlen = 0;
        if (received >= 0 || errno != EINTR)
            return received;
    }
}

// When the kernel took the packet in, by the wall clock, where it says.
std::optional<std::int64_t> receivedRealNs(msghdr& message)
{
    for (cmsghdr* part = CMSG_FIRSTHDR(&message); part; part = CMSG_NXTHDR(&message, part)) {
        if (part->cmsg_level == SOL_SOCKET && part->cmsg_type == SCM_TIMESTAMPNS) {
            timespec ts{};
            std::memcpy(&ts, CMSG_DATA(part), sizeof ts);
            return nanoseconds(ts);
        }
    }
    return std::nullopt;
}

// From the send to the kernel's receive time stamp where there is one; by the monotonic clock
// up to now where there is none, or where the wall clock was set in between.
std::int64_t roundTripNs(const OutstandingTable::Request& request, std::int64_t nowNs,
                         std::optional<std::int64_t> arrivedRealNs)
{
    const std::int64_t waited = nowNs - request.sentNs;
    if (arrivedRealNs) {
        const std::int64_t stamped = *arrivedRealNs - request.sentRealNs;
        if (stamped >= 0 && stamped <= waited)
            return stamped;
    }
    return waited;
}

// An identifier of this process's own, and of this engine's within it, so that the replies
// to other programs' echo requests (and to other engines') are not even delivered to us.
std::uint16_t newIdentifier()
{
    static std::atomic<unsigned> engines{0};
    const unsigned value = unsigned(::getpid()) * 2654435761u + engines++ * 40503u;
    return static_cast<std::uint16_t>(value >> 16 ^ value);
}

// Without the kernel's notices of changes, the interfaces are read again for a request made after
// they were last read, so that a scan started after a link came up or changed sees it; a long
// scan reads them at most this often.
constexpr std::int64_t LinksRereadNs = 10000000;

sockaddr_in6 ipv6Destination(const IpAddress& address)
{
    sockaddr_in6 destination{};
    destination.sin6_family = AF_INET6;
    std::memcpy(&destination.sin6_addr, address.ipv6().data(), address.ipv6().size());
    destination.sin6_scope_id = address.scope();
    return destination;
}

IpAddress::Ipv6Bytes bytesOf(const in6_addr& address)
{
    IpAddress::Ipv6Bytes bytes;
    std::memcpy(bytes.data(), &address, bytes.size());
    return bytes;
}

// A connection that could not be made, with the reason in the system's words, but for the one
// answer users read most, which the program words as it does everywhere else. A refusal is the
// host's own answer that nothing listens on the port: an error, not a probe that went unheard.
// An echo request larger than the path carries, refused by this host: not sent, an error (the
// log's "cannot be probed" line and the metrics say so). One a router on the way refuses takes
// the reason's words and went unheard, as other answers of routers do.
ProbeResult tooLong(std::uint32_t pathMtu)
{
    return {ProbeResult::SocketError, 0, PhraseBook::english(PhraseBook::PathMtu, {QString::number(pathMtu)})};
}

// The wait of a quick client's request: see QuickScanWait.
std::int64_t quickWaitNs(int timeoutMs, std::optional<std::chrono::microseconds> slowestAnswer)
{
    return std::chrono::nanoseconds(QuickScanWait::wait(std::chrono::milliseconds(timeoutMs), slowestAnswer)).count();
}

ProbeResult connectFailure(int error)
{
    if (error == ECONNREFUSED)
        return {ProbeResult::SocketError, 0, QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "connection refused"))};
    return {ProbeResult::Timeout, 0, QString::fromLocal8Bit(std::strerror(error))};
}

} // namespace

ProbeEngine::ProbeEngine(NameResolver& resolver)
    : m_resolver(resolver)
    , m_socket(std::make_unique<IcmpSocket>())
    , m_socket6(std::make_unique<IcmpSocket>(AF_INET6))
    , m_arp(std::make_unique<ArpSocket>())
    , m_wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    , m_identifier(newIdentifier())
{
    if (m_socket->isOpen())
        m_socket->acceptOnlyIdentifier(m_identifier);
    else
        qCWarning(lcNet) << "no ICMP socket could be opened; every probe fails with a socket error";
    if (m_socket6->isOpen())
        m_socket6->acceptOnlyIdentifier(m_identifier);
}

void ProbeEngine::startThread()
{
    std::call_once(m_started, [this] { m_thread = std::thread([this] { run(); }); });
}

ProbeEngine::~ProbeEngine()
{
    stop();
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

void ProbeEngine::setInterval(std::int64_t intervalNs)
{
    std::lock_guard lock(m_mutex);
    m_intervalNs = intervalNs;
}

void ProbeEngine::setQuickWait(Client client, bool quick)
{
    std::lock_guard lock(m_mutex);
    if (!quick)
        m_quickClients.erase(client);
    else
        m_quickClients.try_emplace(client);
    m_anyQuickClient = !m_quickClients.empty();
}

std::int64_t ProbeEngine::answerWaitNs(Client client, int timeoutMs)
{
    // The monitor's requests, without a scan under way, take no lock for it.
    if (!m_anyQuickClient)
        return std::int64_t(timeoutMs) * 1000000;
    std::lock_guard lock(m_mutex);
    const auto quick = m_quickClients.find(client);
    return quick == m_quickClients.end() ? std::int64_t(timeoutMs) * 1000000 : quickWaitNs(timeoutMs, quick->second);
}

void ProbeEngine::heardAnswer(Client client, std::int64_t roundTripNs)
{
    if (!m_anyQuickClient)
        return;
    const std::chrono::microseconds roundTrip(roundTripNs / 1000);
    std::optional<std::chrono::microseconds> slowest;
    {
        std::lock_guard lock(m_mutex);
        const auto quick = m_quickClients.find(client);
        if (quick == m_quickClients.end() || (quick->second && *quick->second >= roundTrip))
            return;
        quick->second = roundTrip;
        slowest = roundTrip;
    }
    // Every wait of the client's is measured from its own send again: those sent before the
    // first answer are cut short, and a slower answer lengthens those still out.
    m_outstanding.reschedule([client, slowest](const OutstandingTable::Request& request) {
        return request.client == client ? request.sentNs + quickWaitNs(request.timeoutMs, slowest) : request.deadlineNs;
    });
    std::multimap<std::int64_t, ArpWait> arpWaiting;
    for (auto& [deadlineNs, wait] : m_arpWaiting) {
        const std::int64_t due = wait.request.client == client
            ? wait.sentNs + quickWaitNs(wait.request.timeoutMs, slowest)
            : deadlineNs;
        arpWaiting.emplace(due, std::move(wait));
    }
    m_arpWaiting.swap(arpWaiting);
}

std::size_t ProbeEngine::withdraw(Client client)
{
    std::lock_guard lock(m_mutex);
    return std::erase_if(m_queue, [client](const Pending& request) { return request.client == client; });
}

std::size_t ProbeEngine::requestsQueued()
{
    std::lock_guard lock(m_mutex);
    return m_queue.size();
}

std::size_t ProbeEngine::requestsQueued(Client client)
{
    std::lock_guard lock(m_mutex);
    return std::size_t(std::count_if(m_queue.begin(), m_queue.end(),
                                     [client](const Pending& request) { return request.client == client; }));
}

void ProbeEngine::submit(std::uint32_t address, int timeoutMs, ProbeCompletion done, Client client, OnLink onLink,
                         EchoOptions echo)
{
    queue({address, std::max(0, timeoutMs), std::move(done), client, onLink, false, monotonicNs(), 0, std::nullopt,
           echo});
}

void ProbeEngine::submitConnect(std::uint32_t address, std::uint16_t port, int timeoutMs, ProbeCompletion done,
                                Client client)
{
    queue({address, std::max(0, timeoutMs), std::move(done), client, OnLink::EchoOnly, false, monotonicNs(), port});
}

void ProbeEngine::submit(const IpAddress& address, int timeoutMs, ProbeCompletion done, Client client, OnLink onLink,
                         EchoOptions echo)
{
    if (!address.isIpv6()) {
        submit(address.ipv4(), timeoutMs, std::move(done), client, onLink, echo);
        return;
    }
    queue({0, std::max(0, timeoutMs), std::move(done), client, onLink, false, monotonicNs(), 0, address, echo});
}

void ProbeEngine::submitConnect(const IpAddress& address, std::uint16_t port, int timeoutMs, ProbeCompletion done,
                                Client client)
{
    queue({address.isIpv6() ? 0 : address.ipv4(), std::max(0, timeoutMs), std::move(done), client, OnLink::EchoOnly,
           false, monotonicNs(), port, address.isIpv6() ? std::optional(address) : std::nullopt});
}

void ProbeEngine::submitTracingConnect(const IpAddress& address, std::uint16_t port, std::uint8_t hopLimit,
                                       int timeoutMs, ProbeCompletion done, Client client)
{
    EchoOptions limit;
    limit.hopLimit = hopLimit;
    queue({address.isIpv6() ? 0 : address.ipv4(), std::max(0, timeoutMs), std::move(done), client, OnLink::EchoOnly,
           false, monotonicNs(), port, address.isIpv6() ? std::optional(address) : std::nullopt, limit});
}

void ProbeEngine::queue(Pending request)
{
    bool asleep = false;
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(request));
        asleep = std::exchange(m_sleepsWithEmptyQueue, false);
    }
    if (!m_stopping)
        startThread();
    // A thread that went to sleep with requests queued wakes for the first of them anyway, and
    // one that is awake looks at the queue before it sleeps: only one asleep with nothing queued
    // needs telling, so that a steady stream of requests costs no system call each.
    if (asleep)
        wake();
}

void ProbeEngine::stop()
{
    if (m_stopping.exchange(true))
        return;
    // Once stopped, no request starts the thread any more.
    std::call_once(m_started, [] {});
    wake();
    if (m_thread.joinable())
        m_thread.join();
    closeConnects();
    m_socket.reset();
    m_socket6.reset();
    m_arp.reset();
}

void ProbeEngine::wake()
{
    const std::uint64_t one = 1;
    const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
    (void)written;
}

void ProbeEngine::run()
{
    Finished finished;
    while (!m_stopping) {
        std::int64_t now = monotonicNs();
        // Every request whose turn has come, one per pacing interval; but never more in one turn
        // than the socket's receive buffer holds replies for: a thread that falls behind its
        // schedule (a loaded machine) would otherwise send on and on while the replies it does not
        // read yet overflow the buffer and are lost.
        for (int sent = 0; sent < MaxSendsPerTurn && sendNext(now, finished); ++sent)
            now = monotonicNs();
        if (m_toSend.added())
            sendBatch(finished);
        // The IPv4 socket is read after every send, as a nearby host's reply is in before the next
        // wait; the others only when the wait saw something for them, so that a turn makes no
        // system call that can only come back empty.
        receiveAll(finished);
        if (m_ready.ipv6)
            receiveIpv6(finished);
        if (m_ready.arp)
            receiveArp(finished);
        finishConnects(finished);
        finishExpired(monotonicNs(), finished);
        for (auto& [done, result] : finished) {
            if (m_stopping)
                break;
            done(result);
        }
        finished.clear();
        m_inFlight = m_outstanding.size() + m_arpWaiting.size() + m_connecting.size();
        wait(monotonicNs());
    }
}

void ProbeEngine::finishExpired(std::int64_t nowNs, Finished& finished)
{
    for (OutstandingTable::Request& request : m_outstanding.takeExpired(nowNs))
        finished.emplace_back(std::move(request.done),
                              ProbeResult{request.answeredArp ? ProbeResult::Present : ProbeResult::Timeout, 0});
    while (!m_arpWaiting.empty() && m_arpWaiting.begin()->first <= nowNs) {
        finished.emplace_back(std::move(m_arpWaiting.begin()->second.request.done), ProbeResult::timeout());
        m_arpWaiting.erase(m_arpWaiting.begin());
    }
    for (auto it = m_connecting.begin(); it != m_connecting.end();) {
        if (it->second.deadlineNs > nowNs) {
            ++it;
            continue;
        }
        ::close(it->first);
        finished.emplace_back(std::move(it->second.done), ProbeResult::timeout());
        it = m_connecting.erase(it);
    }
}

void ProbeEngine::startConnect(Pending& request, std::int64_t nowNs, Finished& finished)
{
    const int family = request.ipv6 ? AF_INET6 : AF_INET;
    const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        finished.emplace_back(std::move(request.done),
                              ProbeResult{ProbeResult::SocketError, 0, QString::fromLocal8Bit(std::strerror(errno))});
        return;
    }
    sockaddr_storage destination{};
    socklen_t length = sizeof(sockaddr_in);
    if (request.ipv6) {
        sockaddr_in6 v6 = ipv6Destination(*request.ipv6);
        v6.sin6_port = htons(request.port);
        std::memcpy(&destination, &v6, sizeof v6);
        length = sizeof v6;
    } else {
        sockaddr_in v4{};
        v4.sin_family = AF_INET;
        v4.sin_addr.s_addr = request.address;
        v4.sin_port = htons(request.port);
        std::memcpy(&destination, &v4, sizeof v4);
    }
    const std::uint8_t hopLimit = request.echo.hopLimit;
    if (hopLimit) {
        // The SYN leaves with the hop limit, and the router's ICMP error about it waits on the
        // socket's error queue with the router's address.
        const int limit = hopLimit;
        const int on = 1;
        if (request.ipv6) {
            ::setsockopt(fd, SOL_IPV6, IPV6_UNICAST_HOPS, &limit, sizeof limit);
            ::setsockopt(fd, SOL_IPV6, IPV6_RECVERR, &on, sizeof on);
        } else {
            ::setsockopt(fd, SOL_IP, IP_TTL, &limit, sizeof limit);
            ::setsockopt(fd, SOL_IP, IP_RECVERR, &on, sizeof on);
        }
    }
    m_pacer.sent(nowNs);
    const int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&destination), length);
    const int error = result == 0 ? 0 : errno;
    Connecting connecting{std::move(request.done), nowNs, nowNs + std::int64_t(request.timeoutMs) * 1000000};
    if (hopLimit) {
        connecting.hopLimit = hopLimit;
        connecting.ipv6 = request.ipv6.has_value();
        connecting.destination = request.ipv6 ? request.ipv6->toString() : IpAddress::ipv4(request.address).toString();
    }
    if (error == EINPROGRESS) {
        m_connecting.emplace(fd, std::move(connecting));
        return;
    }
    if (error != 0 && hopLimit) {
        finished.emplace_back(std::move(connecting.done), tracedConnectFailure(fd, error, connecting, monotonicNs()));
        ::close(fd);
        return;
    }
    request.done = std::move(connecting.done);
    ::close(fd);
    if (error == 0)
        finished.emplace_back(std::move(request.done),
                              ProbeResult::reply(std::chrono::microseconds((monotonicNs() - nowNs) / 1000)));
    else
        finished.emplace_back(std::move(request.done), connectFailure(error));
}

void ProbeEngine::finishConnects(Finished& finished)
{
    if (m_connecting.empty())
        return;
    std::vector<pollfd> fds;
    fds.reserve(m_connecting.size());
    for (const auto& [fd, connecting] : m_connecting)
        fds.push_back({fd, POLLOUT, 0});
    if (::poll(fds.data(), fds.size(), 0) <= 0)
        return;
    const std::int64_t now = monotonicNs();
    for (const pollfd& polled : fds) {
        if (!polled.revents)
            continue;
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(polled.fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            error = errno;
        auto it = m_connecting.find(polled.fd);
        ProbeResult result = !error ? ProbeResult::reply(std::chrono::microseconds((now - it->second.sentNs) / 1000))
            : it->second.hopLimit   ? tracedConnectFailure(polled.fd, error, it->second, now)
                                    : connectFailure(error);
        finished.emplace_back(std::move(it->second.done), std::move(result));
        ::close(polled.fd);
        m_connecting.erase(it);
    }
}

ProbeResult ProbeEngine::tracedConnectFailure(int fd, int error, const Connecting& connecting, std::int64_t nowNs)
{
    const std::int64_t roundTripUs = (nowNs - connecting.sentNs) / 1000;
    ProbeResult result = connectFailure(error);
    // The host turned the connection down: it answered, as a closed port answers a UDP trace.
    if (error == ECONNREFUSED) {
        result.errorAnswer = {connecting.destination, roundTripUs, std::uint8_t(connecting.ipv6 ? 1 : 3),
                              std::uint8_t(connecting.ipv6 ? 4 : 3), false};
        return result;
    }
    std::uint8_t payload[256];
    std::uint8_t control[512];
    sockaddr_storage peer{};
    msghdr message;
    const ssize_t received = receiveOne(fd, MSG_ERRQUEUE, payload, sizeof payload, &peer, sizeof peer, control,
                                        sizeof control, message);
    if (received < 0)
        return result;
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
        const bool v4 = header->cmsg_level == SOL_IP && header->cmsg_type == IP_RECVERR;
        const bool v6 = header->cmsg_level == SOL_IPV6 && header->cmsg_type == IPV6_RECVERR;
        if ((!v4 && !v6) || header->cmsg_len < CMSG_LEN(sizeof(sock_extended_err)))
            continue;
        sock_extended_err extended{};
        std::memcpy(&extended, CMSG_DATA(header), sizeof extended);
        if (extended.ee_origin != SO_EE_ORIGIN_ICMP && extended.ee_origin != SO_EE_ORIGIN_ICMP6)
            continue;
        const auto* offender = reinterpret_cast<const sockaddr*>(CMSG_DATA(header) + sizeof extended);
        const std::size_t room = header->cmsg_len - CMSG_LEN(sizeof extended);
        QString from;
        if (offender->sa_family == AF_INET && room >= sizeof(sockaddr_in)) {
            sockaddr_in address{};
            std::memcpy(&address, offender, sizeof address);
            from = IpAddress::ipv4(address.sin_addr.s_addr).toString();
        } else if (offender->sa_family == AF_INET6 && room >= sizeof(sockaddr_in6)) {
            sockaddr_in6 address{};
            std::memcpy(&address, offender, sizeof address);
            from = IpAddress::ipv6(bytesOf(address.sin6_addr)).toString();
        }
        if (from.isEmpty())
            continue;
        const bool exceeded = extended.ee_type == (v6 ? Icmpv6Echo::TimeExceededType : ICMP_TIME_EXCEEDED);
        result.errorAnswer = {from, roundTripUs, extended.ee_type, extended.ee_code, exceeded};
        result.reason = PhraseBook::english(
            PhraseBook::FromRouter,
            {v6 ? Icmpv6Echo::errorText(extended.ee_type, extended.ee_code)
                : QString::fromLatin1(EchoPacket::errorText(extended.ee_type, extended.ee_code)),
             from});
    }
    return result;
}

void ProbeEngine::closeConnects()
{
    for (const auto& [fd, connecting] : m_connecting)
        ::close(fd);
    m_connecting.clear();
}

bool ProbeEngine::askByArp(Pending& request, std::int64_t nowNs)
{
    if (request.onLink == OnLink::EchoOnly || !asksByArp())
        return false;
    // Where the kernel tells of changes the interfaces are read again only after one (the wait
    // sees its notice, so a request makes no system call for it); otherwise for a request made
    // after they were last read.
    const bool mayHaveChanged = m_linkChanges.isOpen()
        ? std::exchange(m_ready.links, false)
        : m_linksReadNs < request.submittedNs && nowNs - m_linksReadNs > LinksRereadNs;
    if (!m_linksRead || mayHaveChanged) {
        m_links = LocalLinks::current();
        m_linksReadNs = nowNs;
        m_linksRead = true;
    }
    const std::optional<LocalLinks::Link> link = m_links.linkFor(request.address);
    if (!link
        || !m_arp->send(link->interfaceIndex, ArpPacket::buildRequest(link->hardware, link->address, request.address)))
        return false;
    const std::int64_t sentNs = monotonicNs();
    m_pacer.sent(sentNs);
    m_arpWaiting.emplace(sentNs + answerWaitNs(request.client, request.timeoutMs),
                         ArpWait{std::move(request), *link, sentNs});
    return true;
}

void ProbeEngine::receiveArp(Finished& finished)
{
    if (!asksByArp())
        return;
    while (const std::optional<ArpSocket::Received> received = m_arp->receive()) {
        // Only an answer from the address asked, to our own question, on the link it went out on.
        std::vector<Pending> answered;
        std::vector<std::pair<Client, std::int64_t>> roundTrips;
        const std::int64_t now = monotonicNs();
        for (auto it = m_arpWaiting.begin(); it != m_arpWaiting.end();) {
            const ArpWait& wait = it->second;
            if (wait.request.address == received->reply.senderAddress
                && wait.link.address == received->reply.targetAddress
                && wait.link.interfaceIndex == received->interfaceIndex) {
                roundTrips.emplace_back(wait.request.client, now - wait.sentNs);
                if (wait.request.onLink == OnLink::ArpOnly) {
                    ProbeResult result = ProbeResult::reply(std::chrono::microseconds((now - wait.sentNs) / 1000));
                    result.hardwareAddress = ArpPacket::number(received->reply.senderHardware);
                    finished.emplace_back(std::move(it->second.request.done), std::move(result));
                } else
                    answered.push_back(std::move(it->second.request));
                it = m_arpWaiting.erase(it);
            } else {
                ++it;
            }
        }
        {
            // The echo requests go ahead of what waits to be sent: their ARP question was sent already.
            std::lock_guard lock(m_mutex);
            for (Pending& request : answered) {
                request.onLink = OnLink::EchoOnly;
                request.answeredArp = true;
                m_queue.push_front(std::move(request));
            }
        }
        for (const auto& [client, roundTripNs] : roundTrips)
            heardAnswer(client, roundTripNs);
    }
}

bool ProbeEngine::sendNext(std::int64_t nowNs, Finished& finished)
{
    Pending request;
    {
        std::lock_guard lock(m_mutex);
        if (m_queue.empty())
            return false;
        if (hasSocket()) {
            m_pacer.setInterval(m_intervalNs);
            if (!m_pacer.maySend(nowNs))
                return false;
        }
        request = std::move(m_queue.front());
        m_queue.pop_front();
    }
    if (!hasSocket()) {
        finished.emplace_back(std::move(request.done), ProbeResult::socketError());
        return true;
    }
    if (request.port) {
        startConnect(request, nowNs, finished);
        return true;
    }
    if (request.ipv6)
        return sendIpv6(request, finished);
    if (askByArp(request, nowNs))
        return true;
    if (request.onLink == OnLink::ArpOnly) {
        // The send's own error, when the question could not leave.
        const int sendError = errno;
        QString reason;
        if (!asksByArp())
            reason = PhraseBook::english(PhraseBook::NoArp, {QString::fromLocal8Bit(std::strerror(arpSocketError()))});
        else if (!m_links.linkFor(request.address))
            reason = QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "not on a local link"));
        else
            reason = QString::fromLocal8Bit(std::strerror(sendError));
        finished.emplace_back(std::move(request.done), ProbeResult{ProbeResult::Timeout, 0, reason});
        return true;
    }
    const std::optional<std::uint16_t> sequence = m_outstanding.nextFreeSequence();
    if (!sequence) {
        // All 65,536 numbers are waiting for replies: this one waits for a number.
        std::lock_guard lock(m_mutex);
        m_queue.push_front(std::move(request));
        return false;
    }
    m_packet.resize(IcmpHeaderSize + request.echo.payloadSize);
    EchoPacket::writeRequest(m_packet.data(), m_packet.size(), m_identifier, *sequence, TickCounter::now());
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_addr.s_addr = request.address;
    // Taken before the send: the reply may well be in before sendto returns.
    const std::int64_t sentNs = monotonicNs();
    const std::int64_t sentRealNs = clockNs(CLOCK_REALTIME);
    const auto out = [&] {
        m_outstanding.insert(*sequence,
                             {request.address, sentNs, sentNs + answerWaitNs(request.client, request.timeoutMs),
                              std::move(request.done), request.answeredArp, sentRealNs, std::nullopt, request.client,
                              request.timeoutMs});
    };
    if (!request.echo.dontFragment && !request.echo.hopLimit && m_packet.size() <= DatagramBatch::DatagramBytes) {
        // A request of no options of its own, in one frame, leaves with the others of the turn
        // (sendBatch).
        const auto* to = reinterpret_cast<const sockaddr*>(&destination);
        if (!m_toSend.add(m_packet.data(), m_packet.size(), to, sizeof destination)) {
            sendBatch(finished);
            m_toSend.add(m_packet.data(), m_packet.size(), to, sizeof destination);
        }
        m_toSendSequences.push_back(*sequence);
        m_pacer.sent(sentNs);
        out();
        return true;
    }
    std::optional<int> pathMtu;
    const ssize_t sent = sendEcho(*m_socket, reinterpret_cast<const sockaddr*>(&destination), sizeof destination,
                                  request.echo, pathMtu, finished);
    m_pacer.sent(sentNs);
    if (sent != static_cast<ssize_t>(m_packet.size())) {
        finished.emplace_back(std::move(request.done), pathMtu ? tooLong(*pathMtu) : ProbeResult::socketError());
        return true;
    }
    out();
    return true;
}

void ProbeEngine::sendBatch(Finished& finished)
{
    m_toSend.send(m_socket->fd(), [this, &finished](int index) {
        OutstandingTable::Request refused = m_outstanding.take(m_toSendSequences[std::size_t(index)]);
        finished.emplace_back(std::move(refused.done), ProbeResult::socketError());
    });
    m_toSendSequences.clear();
}

void ProbeEngine::receiveAll(Finished& finished)
{
    if (!hasSocket())
        return;
    // Many replies at a time, as a busy turn finds them.
    for (int received = DatagramBatch::Capacity; received == DatagramBatch::Capacity;) {
        received = m_received.receive(m_socket->fd());
        const std::int64_t now = monotonicNs();
        for (int i = 0; i < received; ++i) {
            sockaddr_in from{};
            std::memcpy(&from, &m_received.peer(i), sizeof from);
            takeDatagram(m_received.data(i), m_received.size(i), from.sin_addr.s_addr, m_received.header(i), now,
                         finished);
        }
    }
    if (!m_socket->isRaw() && m_ready.ipv4Errors)
        receiveErrorQueue(finished);
}

void ProbeEngine::takeDatagram(const std::uint8_t* data, std::size_t size, std::uint32_t from, msghdr& message,
                               std::int64_t nowNs, Finished& finished)
{
    const auto reply = EchoPacket::parseReply(data, size, m_socket->isRaw());
    if (!reply) {
        const auto error = m_socket->isRaw() ? EchoPacket::parseError(data, size) : std::nullopt;
        if (error && error->identifier == m_identifier)
            finishWithError(error->sequence, error->destination, error->type, error->code, from, error->nextHopMtu,
                            finished);
        return;
    }
    const OutstandingTable::Request* request = m_outstanding.find(reply->sequence);
    // A raw socket sees replies to others too (the filter passes only our identifier, where it
    // could be attached); a datagram socket's identifier is the kernel's.
    const EchoPacket::Expected expected{request ? request->address : 0, m_identifier, reply->sequence,
                                        m_socket->isRaw()};
    if (!request || request->ipv6 || !expected.accepts(*reply, from))
        return;
    finishWithReply(reply->sequence, nowNs, message, finished);
}

ssize_t ProbeEngine::sendEcho(IcmpSocket& socket, const sockaddr* destination, socklen_t destinationSize,
                              const EchoOptions& echo, std::optional<int>& pathMtu, Finished& finished)
{
    if (!echo.dontFragment)
        return sendPacket(socket, destination, destinationSize, echo.hopLimit);
    socket.startUnfragmented();
    const ssize_t sent = sendPacket(socket, destination, destinationSize, echo.hopLimit);
    const int error = errno;
    // The kernel's refusal waits on the error queue with the MTU it went by, behind the
    // network's errors about earlier requests, which are taken as they would be later.
    if (sent < 0 && error == EMSGSIZE)
        pathMtu = &socket == m_socket6.get() ? receiveIpv6ErrorQueue(finished) : receiveErrorQueue(finished);
    socket.endUnfragmented();
    errno = error;
    return sent;
}

ssize_t ProbeEngine::sendPacket(IcmpSocket& socket, const sockaddr* destination, socklen_t destinationSize,
                                std::uint8_t hopLimit)
{
    if (!hopLimit)
        return ::sendto(socket.fd(), m_packet.data(), m_packet.size(), 0, destination, destinationSize);
    // The hop limit goes with this one send, so that requests of other limits (and of none) in
    // flight at the same time keep theirs.
    iovec data{m_packet.data(), m_packet.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_name = const_cast<sockaddr*>(destination);
    message.msg_namelen = destinationSize;
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    const bool ipv6 = &socket == m_socket6.get();
    header->cmsg_level = ipv6 ? SOL_IPV6 : SOL_IP;
    header->cmsg_type = ipv6 ? IPV6_HOPLIMIT : IP_TTL;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    const int limit = hopLimit;
    std::memcpy(CMSG_DATA(header), &limit, sizeof limit);
    return ::sendmsg(socket.fd(), &message, 0);
}

void ProbeEngine::finishWithReply(std::uint16_t sequence, std::int64_t nowNs, msghdr& message, Finished& finished)
{
    OutstandingTable::Request answered = m_outstanding.take(sequence);
    const std::int64_t roundTrip = roundTripNs(answered, nowNs, receivedRealNs(message));
    finished.emplace_back(std::move(answered.done), ProbeResult::reply(std::chrono::microseconds(roundTrip / 1000)));
    heardAnswer(answered.client, roundTrip);
}

std::optional<int> ProbeEngine::receiveErrorQueue(Finished& finished)
{
    std::uint8_t payload[576];
    std::uint8_t control[512];
    std::optional<int> refusedMtu;
    for (;;) {
        sockaddr_in destination{};
        msghdr message;
        const ssize_t received = receiveOne(m_socket->fd(), MSG_ERRQUEUE, payload, sizeof payload, &destination,
                                            sizeof destination, control, sizeof control, message);
        if (received < 0)
            return refusedMtu;
        const auto quoted = EchoPacket::parseQuotedRequest(payload, static_cast<std::size_t>(received));
        for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
            if (header->cmsg_level != SOL_IP || header->cmsg_type != IP_RECVERR
                || header->cmsg_len < CMSG_LEN(sizeof(sock_extended_err) + sizeof(sockaddr_in)))
                continue;
            sock_extended_err error{};
            std::memcpy(&error, CMSG_DATA(header), sizeof error);
            if (error.ee_origin == SO_EE_ORIGIN_LOCAL && error.ee_errno == EMSGSIZE)
                refusedMtu = int(error.ee_info);
            if (error.ee_origin != SO_EE_ORIGIN_ICMP || !quoted)
                continue;
            sockaddr_in offender{};
            std::memcpy(&offender, CMSG_DATA(header) + sizeof error, sizeof offender);
            // The kernel chose the identifier of a datagram socket; the sequence and the
            // destination tell our request.
            finishWithError(quoted->second, destination.sin_addr.s_addr, error.ee_type, error.ee_code,
                            offender.sin_family == AF_INET ? offender.sin_addr.s_addr : 0,
                            error.ee_errno == EMSGSIZE ? error.ee_info : 0, finished);
        }
    }
}

void ProbeEngine::finishWithError(std::uint16_t sequence, std::uint32_t destination, std::uint8_t type,
                                  std::uint8_t code, std::uint32_t offender, std::uint32_t mtu, Finished& finished)
{
    const OutstandingTable::Request* request = m_outstanding.find(sequence);
    if (!request || request->ipv6 || request->address != destination)
        return;
    OutstandingTable::Request failed = m_outstanding.take(sequence);
    ProbeResult result{ProbeResult::Timeout, 0,
                       mtu ? tooLong(mtu).reason : QString::fromLatin1(EchoPacket::errorText(type, code))};
    char text[INET_ADDRSTRLEN] = {};
    if (offender && ::inet_ntop(AF_INET, &offender, text, sizeof text)) {
        result.reason = PhraseBook::english(PhraseBook::FromRouter, {result.reason, QString::fromLatin1(text)});
        result.errorAnswer = {QString::fromLatin1(text), (monotonicNs() - failed.sentNs) / 1000, type, code,
                              type == ICMP_TIME_EXCEEDED};
    }
    finished.emplace_back(std::move(failed.done), std::move(result));
}

bool ProbeEngine::sendIpv6(Pending& request, Finished& finished)
{
    if (request.onLink == OnLink::ArpOnly) {
        finished.emplace_back(std::move(request.done),
                              ProbeResult{ProbeResult::Timeout, 0,
                                          QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "no ARP for IPv6 addresses"))});
        return true;
    }
    if (!hasIpv6Socket()) {
        finished.emplace_back(std::move(request.done), ProbeResult::socketError());
        return true;
    }
    const std::optional<std::uint16_t> sequence = m_outstanding.nextFreeSequence();
    if (!sequence) {
        std::lock_guard lock(m_mutex);
        m_queue.push_front(std::move(request));
        return false;
    }
    m_packet.resize(IcmpHeaderSize + request.echo.payloadSize);
    Icmpv6Echo::writeRequest(m_packet.data(), m_packet.size(), m_identifier, *sequence);
    const sockaddr_in6 destination = ipv6Destination(*request.ipv6);
    const std::int64_t sentNs = monotonicNs();
    const std::int64_t sentRealNs = clockNs(CLOCK_REALTIME);
    std::optional<int> pathMtu;
    const ssize_t sent = sendEcho(*m_socket6, reinterpret_cast<const sockaddr*>(&destination), sizeof destination,
                                  request.echo, pathMtu, finished);
    m_pacer.sent(sentNs);
    if (sent != static_cast<ssize_t>(m_packet.size())) {
        finished.emplace_back(
            std::move(request.done),
            pathMtu ? tooLong(*pathMtu)
                    : ProbeResult{ProbeResult::SocketError, 0, QString::fromLocal8Bit(std::strerror(errno))});
        return true;
    }
    m_outstanding.insert(*sequence,
                         {0, sentNs, sentNs + answerWaitNs(request.client, request.timeoutMs), std::move(request.done),
                          false, sentRealNs, request.ipv6, request.client, request.timeoutMs});
    return true;
}

void ProbeEngine::receiveIpv6(Finished& finished)
{
    if (!hasIpv6Socket())
        return;
    char buffer[1500];
    for (;;) {
        sockaddr_in6 from{};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
        msghdr message;
        const ssize_t received = receiveOne(m_socket6->fd(), 0, buffer, sizeof buffer, &from, sizeof from, control,
                                            sizeof control, message);
        if (received < 0)
            break;
        const std::int64_t now = monotonicNs();
        const bool raw = m_socket6->isRaw();
        const auto reply = Icmpv6Echo::parseReply(buffer, received);
        if (!reply) {
            const auto error = raw ? Icmpv6Echo::parseError(buffer, received) : std::nullopt;
            if (error && error->id == m_identifier)
                finishWithIpv6Error(*error, bytesOf(from.sin6_addr), finished);
            continue;
        }
        // A datagram socket's identifier is the kernel's; a raw socket's filter passes only ours,
        // where it could be attached.
        const OutstandingTable::Request* request = m_outstanding.find(reply->sequence);
        if (!request || !request->ipv6 || request->ipv6->ipv6() != bytesOf(from.sin6_addr)
            || (raw && reply->id != m_identifier))
            continue;
        finishWithReply(reply->sequence, now, message, finished);
    }
    if (!m_socket6->isRaw() && m_ready.ipv6Errors)
        receiveIpv6ErrorQueue(finished);
}

std::optional<int> ProbeEngine::receiveIpv6ErrorQueue(Finished& finished)
{
    char payload[1280];
    std::uint8_t control[512];
    std::optional<int> refusedMtu;
    for (;;) {
        sockaddr_in6 destination{};
        msghdr message;
        const ssize_t received = receiveOne(m_socket6->fd(), MSG_ERRQUEUE, payload, sizeof payload, &destination,
                                            sizeof destination, control, sizeof control, message);
        if (received < 0)
            return refusedMtu;
        const auto quoted = Icmpv6Echo::parseQuotedRequest(payload, received);
        for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
            if (header->cmsg_level != SOL_IPV6 || header->cmsg_type != IPV6_RECVERR
                || header->cmsg_len < CMSG_LEN(sizeof(sock_extended_err) + sizeof(sockaddr_in6)))
                continue;
            sock_extended_err error{};
            std::memcpy(&error, CMSG_DATA(header), sizeof error);
            if (error.ee_origin == SO_EE_ORIGIN_LOCAL && error.ee_errno == EMSGSIZE)
                refusedMtu = int(error.ee_info);
            if (error.ee_origin != SO_EE_ORIGIN_ICMP6 || !quoted)
                continue;
            sockaddr_in6 offender{};
            std::memcpy(&offender, CMSG_DATA(header) + sizeof error, sizeof offender);
            // The kernel chose the identifier of a datagram socket; the sequence and the
            // destination tell our request.
            finishWithIpv6Error(
                {error.ee_type, error.ee_code, quoted->id, quoted->sequence, bytesOf(destination.sin6_addr),
                 error.ee_type == Icmpv6Echo::PacketTooBigType ? error.ee_info : 0},
                offender.sin6_family == AF_INET6 ? bytesOf(offender.sin6_addr) : IpAddress::Ipv6Bytes{}, finished);
        }
    }
}

void ProbeEngine::finishWithIpv6Error(const Icmpv6Echo::Error& error, const IpAddress::Ipv6Bytes& offender,
                                      Finished& finished)
{
    const OutstandingTable::Request* request = m_outstanding.find(error.sequence);
    if (!request || !request->ipv6 || request->ipv6->ipv6() != error.destination)
        return;
    OutstandingTable::Request failed = m_outstanding.take(error.sequence);
    ProbeResult result{ProbeResult::Timeout, 0,
                       error.mtu ? tooLong(error.mtu).reason : Icmpv6Echo::errorText(error.type, error.code)};
    if (offender != IpAddress::Ipv6Bytes{}) {
        const QString from = IpAddress::ipv6(offender).toString();
        result.reason = PhraseBook::english(PhraseBook::FromRouter, {result.reason, from});
        result.errorAnswer = {from, (monotonicNs() - failed.sentNs) / 1000, error.type, error.code,
                              error.type == Icmpv6Echo::TimeExceededType};
    }
    finished.emplace_back(std::move(failed.done), std::move(result));
}

void ProbeEngine::wait(std::int64_t nowNs)
{
    std::int64_t until = nowNs + 100000000; // look again at least every 100 ms
    {
        std::lock_guard lock(m_mutex);
        if (!m_queue.empty())
            until = std::min(until, hasSocket() ? m_pacer.nextSendAt() : nowNs);
        m_sleepsWithEmptyQueue = m_queue.empty();
    }
    if (const auto deadline = m_outstanding.nextDeadline())
        until = std::min(until, *deadline);
    if (!m_arpWaiting.empty())
        until = std::min(until, m_arpWaiting.begin()->first);
    for (const auto& [fd, connecting] : m_connecting)
        until = std::min(until, connecting.deadlineNs);
    const std::int64_t waitNs = std::max<std::int64_t>(0, until - nowNs);
    const timespec timeout{time_t(waitNs / 1000000000), long(waitNs % 1000000000)};
    std::vector<pollfd> fds = {{m_wakeFd, POLLIN, 0},
                               {hasSocket() ? m_socket->fd() : -1, POLLIN, 0},
                               {hasIpv6Socket() ? m_socket6->fd() : -1, POLLIN, 0},
                               {asksByArp() ? m_arp->fd() : -1, POLLIN, 0},
                               {m_linkChanges.fd(), POLLIN, 0}};
    for (const auto& [fd, connecting] : m_connecting)
        fds.push_back({fd, POLLOUT, 0});
    if (::ppoll(fds.data(), fds.size(), &timeout, nullptr) < 0) {
        // Interrupted: every socket is read in the next turn.
        m_ready = {};
        return;
    }
    const auto seen = [&fds](std::size_t i, short events) { return (fds[i].revents & events) != 0; };
    // A notice of a link change is taken at once (else every wait would end at once for it) and
    // stays seen until a request asked by ARP reads the interfaces again.
    const bool linksChanged = seen(4, POLLIN | POLLERR) && m_linkChanges.taken();
    m_ready = {seen(1, POLLERR), seen(2, POLLIN | POLLERR), seen(2, POLLERR), seen(3, POLLIN | POLLERR),
               m_ready.links || linksChanged};
    if (seen(0, POLLIN)) {
        std::uint64_t count = 0;
        while (::read(m_wakeFd, &count, sizeof count) > 0) { }
    }
}

} // namespace Tarnwick
