// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "IcmpSocket.h"
#include "OutstandingTable.h"
#include "ProbePacer.h"
#include "data/ProbeResult.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace Tarnwick {

// Keeps many echo requests in flight over one ICMP socket: requests leave paced at a minimum
// interval, each reply is matched to its own request (echo reply, from the probed address, our
// identifier where the socket lets us see it, our sequence number), round trips are measured on
// the monotonic clock in microseconds, and every request's outcome is reported exactly once: a
// reply, a time-out or a socket error. Usable from any thread; the outcomes are reported on the
// engine's own thread, so the callbacks must be short.
class ProbeEngine
{
public:
    // Opens its ICMP socket (raw where the process may, else the unprivileged datagram socket).
    // Its thread starts with the first request, so that a process may give up its privileges
    // in between and no thread of its keeps them.
    ProbeEngine();
    ~ProbeEngine();
    ProbeEngine(const ProbeEngine&) = delete;
    ProbeEngine& operator=(const ProbeEngine&) = delete;

    // The engine the program shares. Start-up makes it first thing, so that its socket is
    // opened before the process gives up the right to open one.
    static ProbeEngine& shared();

    bool hasSocket() const { return m_socket && m_socket->isOpen(); }
    bool usesRawSocket() const { return m_socket && m_socket->isRaw(); }
    std::uint16_t identifier() const { return m_identifier; }

    // The least time between two requests; 1 ms unless changed.
    void setInterval(std::int64_t intervalNs);

    // Who asked for a request, so that it can take back what has not left yet; 0 is nobody
    // in particular.
    using Client = std::uint64_t;
    static Client newClient();

    // Probes an IPv4 address (network byte order), waiting up to timeoutMs for the reply; done
    // is called exactly once, on the engine's thread, unless the engine stops first or the
    // client withdraws the request before it is sent.
    void submit(std::uint32_t address, int timeoutMs, ProbeCompletion done, Client client = 0);
    // Drops the client's requests that wait to be sent (a stopped scan's), so that they hold
    // up no one behind them; their done is never called. Returns how many.
    std::size_t withdraw(Client client);
    // Requests waiting to be sent.
    std::size_t requestsQueued();

    // Ends within 100 ms: outcomes not reported yet are dropped, the socket is closed.
    void stop();

    // How many requests wait for their replies right now.
    std::size_t requestsInFlight() const { return m_inFlight; }

private:
    struct Pending
    {
        std::uint32_t address;
        int timeoutMs;
        ProbeCompletion done;
        Client client;
    };
    using Finished = std::vector<std::pair<ProbeCompletion, ProbeResult>>;

    void startThread();
    void run();
    bool sendNext(std::int64_t nowNs, Finished& finished);
    void receiveAll(Finished& finished);
    void wait(std::int64_t nowNs);
    void wake();

    std::unique_ptr<IcmpSocket> m_socket;
    int m_wakeFd = -1;
    std::uint16_t m_identifier = 0;

    std::mutex m_mutex;
    std::deque<Pending> m_queue;
    std::int64_t m_intervalNs = ProbePacer::DefaultIntervalNs;

    // The engine's thread alone touches these.
    OutstandingTable m_outstanding;
    ProbePacer m_pacer;

    std::atomic<std::size_t> m_inFlight{0};
    std::atomic<bool> m_stopping{false};
    std::once_flag m_started;
    std::thread m_thread;
};

} // namespace Tarnwick
