// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProbeEngine.h"

#include "EchoPacket.h"
#include "NetLogging.h"
#include "TickCounter.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <ctime>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Tarnwick {

namespace {

std::int64_t monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// An identifier of this process's own, and of this engine's within it, so that the replies
// to other programs' echo requests (and to other engines') are not even delivered to us.
std::uint16_t newIdentifier()
{
    static std::atomic<unsigned> engines{0};
    const unsigned value = unsigned(::getpid()) * 2654435761u + engines++ * 40503u;
    return static_cast<std::uint16_t>(value >> 16 ^ value);
}

} // namespace

ProbeEngine::ProbeEngine()
    : m_socket(std::make_unique<IcmpSocket>())
    , m_wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    , m_identifier(newIdentifier())
{
    if (m_socket->isOpen())
        m_socket->acceptOnlyIdentifier(m_identifier);
    else
        qCWarning(lcNet) << "no ICMP socket could be opened; every probe fails with a socket error";
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

ProbeEngine& ProbeEngine::shared()
{
    // Never destroyed: outcomes may still be on their way when the program ends. Start-up
    // stops it before it tears down what the outcomes reach.
    static ProbeEngine* engine = new ProbeEngine;
    return *engine;
}

void ProbeEngine::setInterval(std::int64_t intervalNs)
{
    std::lock_guard lock(m_mutex);
    m_intervalNs = intervalNs;
}

ProbeEngine::Client ProbeEngine::newClient()
{
    static std::atomic<Client> last{0};
    return ++last;
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

void ProbeEngine::submit(std::uint32_t address, int timeoutMs, ProbeCompletion done, Client client)
{
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back({address, std::max(0, timeoutMs), std::move(done), client});
    }
    if (!m_stopping)
        startThread();
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
    m_socket.reset();
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
        // Every request whose turn has come, one per pacing interval.
        while (sendNext(now, finished))
            now = monotonicNs();
        receiveAll(finished);
        now = monotonicNs();
        for (OutstandingTable::Request& request : m_outstanding.takeExpired(now))
            finished.emplace_back(std::move(request.done), ProbeResult::timeout());
        for (auto& [done, result] : finished) {
            if (m_stopping)
                break;
            done(result);
        }
        finished.clear();
        m_inFlight = m_outstanding.size();
        wait(monotonicNs());
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
    const std::optional<std::uint16_t> sequence = m_outstanding.nextFreeSequence();
    if (!sequence) {
        // All 65,536 numbers are waiting for replies: this one waits for a number.
        std::lock_guard lock(m_mutex);
        m_queue.push_front(std::move(request));
        return false;
    }
    const EchoPacket::Request packet = EchoPacket::buildRequest(m_identifier, *sequence, TickCounter::now());
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_addr.s_addr = request.address;
    const ssize_t sent = ::sendto(m_socket->fd(), packet.data(), packet.size(), 0,
                                  reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
    const std::int64_t sentNs = monotonicNs();
    m_pacer.sent(sentNs);
    if (sent != static_cast<ssize_t>(packet.size())) {
        finished.emplace_back(std::move(request.done), ProbeResult::socketError());
        return true;
    }
    m_outstanding.insert(
        *sequence,
        {request.address, sentNs, sentNs + std::int64_t(request.timeoutMs) * 1000000, std::move(request.done)});
    return true;
}

void ProbeEngine::receiveAll(Finished& finished)
{
    if (!hasSocket())
        return;
    std::uint8_t buffer[1500];
    for (;;) {
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t received = ::recvfrom(m_socket->fd(), buffer, sizeof buffer, MSG_DONTWAIT,
                                            reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (received < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        const std::int64_t now = monotonicNs();
        const auto reply = EchoPacket::parseReply(buffer, static_cast<std::size_t>(received), m_socket->isRaw());
        if (!reply)
            continue;
        const OutstandingTable::Request* request = m_outstanding.find(reply->sequence);
        // A raw socket sees replies to others too (the filter passes only our identifier,
        // where it could be attached); a datagram socket's identifier is the kernel's.
        const EchoPacket::Expected expected{request ? request->address : 0, m_identifier, reply->sequence,
                                            m_socket->isRaw()};
        if (!request || !expected.accepts(*reply, from.sin_addr.s_addr))
            continue;
        OutstandingTable::Request answered = m_outstanding.take(reply->sequence);
        finished.emplace_back(std::move(answered.done),
                              ProbeResult{ProbeResult::Reply, (now - answered.sentNs) / 1000});
    }
}

void ProbeEngine::wait(std::int64_t nowNs)
{
    std::int64_t until = nowNs + 100000000; // look again at least every 100 ms
    {
        std::lock_guard lock(m_mutex);
        if (!m_queue.empty())
            until = std::min(until, hasSocket() ? m_pacer.nextSendAt() : nowNs);
    }
    if (const auto deadline = m_outstanding.nextDeadline())
        until = std::min(until, *deadline);
    const std::int64_t waitNs = std::max<std::int64_t>(0, until - nowNs);
    const timespec timeout{time_t(waitNs / 1000000000), long(waitNs % 1000000000)};
    pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {hasSocket() ? m_socket->fd() : -1, POLLIN, 0}};
    ::ppoll(fds, 2, &timeout, nullptr);
    std::uint64_t count = 0;
    while (::read(m_wakeFd, &count, sizeof count) > 0) { }
}

} // namespace Tarnwick
