// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ArpSocket.h"
#include "DatagramBatch.h"
#include "IcmpSocket.h"
#include "Icmpv6Echo.h"
#include "IpAddress.h"
#include "LinkChanges.h"
#include "LocalLinks.h"
#include "OutstandingTable.h"
#include "ProbePacer.h"
#include "data/EchoOptions.h"
#include "data/ProbeResult.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

namespace Tarnwick {

// Keeps many echo requests in flight over one ICMP socket (and one ICMPv6 socket): requests
// leave paced at a minimum interval, each reply is matched to its own request (echo reply, from
// the probed address, our identifier where the socket lets us see it, our sequence number),
// round trips are measured on
// the monotonic clock in microseconds, and every request's outcome is reported exactly once: a
// reply, a time-out or a socket error. Usable from any thread; the outcomes are reported on the
// engine's own thread, so the callbacks must be short.
//
// Addresses on a directly connected Ethernet network may be asked by ARP first, on a packet
// socket of the engine's own: one that does not answer is not probed further (so the kernel
// never tries to resolve it, and its neighbour table keeps no entry for it), one that answers
// is sent the echo request, and if that goes unanswered it is reported present.
class NameResolver;

class ProbeEngine
{
public:
    // Opens its ICMP and ICMPv6 sockets (raw where the process may, else the unprivileged
    // datagram sockets) and its packet socket for ARP (only where the process may send raw frames).
    // Its thread starts with the first request, so that a process may give up its privileges
    // in between and no thread of its keeps them.
    // resolver: turns the devices' address texts into addresses for whoever probes through
    // this engine; it must outlive the engine.
    explicit ProbeEngine(NameResolver& resolver);
    ~ProbeEngine();
    ProbeEngine(const ProbeEngine&) = delete;
    ProbeEngine& operator=(const ProbeEngine&) = delete;

    NameResolver& resolver() const { return m_resolver; }

    bool hasSocket() const { return m_socket && m_socket->isOpen(); }
    bool usesRawSocket() const { return m_socket && m_socket->isRaw(); }
    std::uint16_t identifier() const { return m_identifier; }
    bool hasIpv6Socket() const { return m_socket6 && m_socket6->isOpen(); }
    // Whether hosts on the local link can be asked by ARP; if not, the system's reason.
    bool asksByArp() const { return m_arp && m_arp->isOpen(); }
    int arpSocketError() const { return m_arp ? m_arp->openError() : 0; }

    // The least time between two requests; 1 ms unless changed.
    void setInterval(std::int64_t intervalNs);

    // Who asked for a request, so that it can take back what has not left yet; 0 is nobody
    // in particular.
    using Client = std::uint64_t;
    Client newClient() { return ++m_lastClient; }

    // ArpOnly: the ARP answer is the outcome (a reply, its round trip the ARP reply time, with
    // the hardware address that answered first); an address on no local link, or an engine
    // without a packet socket, fails with the reason.
    enum class OnLink { EchoOnly, AskByArp, ArpOnly };

    // Probes an IPv4 address (network byte order), waiting up to timeoutMs for the reply; done
    // is called exactly once, on the engine's thread, unless the engine stops first or the
    // client withdraws the request before it is sent. AskByArp: an address on a local link is
    // asked by ARP first, waiting up to timeoutMs for that answer too. echo: the echo request's
    // data size, and whether it may be fragmented; one that the path cannot carry fails with
    // the reason "message too long; path MTU 1400".
    void submit(std::uint32_t address, int timeoutMs, ProbeCompletion done, Client client = 0,
                OnLink onLink = OnLink::EchoOnly, EchoOptions echo = {});
    // Connects to a TCP port of an IPv4 address (network byte order) without blocking, paced and
    // timed out like an echo request; the connect time is the round trip. A refused connection
    // fails with the reason "connection refused"; the connection is closed once made.
    void submitConnect(std::uint32_t address, std::uint16_t port, int timeoutMs, ProbeCompletion done,
                       Client client = 0);
    // Either of the above for an IPv4 or IPv6 address; an IPv6 address is sent an ICMPv6 echo
    // request (never asked by ARP: ArpOnly fails with the reason) or connected to over IPv6.
    void submit(const IpAddress& address, int timeoutMs, ProbeCompletion done, Client client = 0,
                OnLink onLink = OnLink::EchoOnly, EchoOptions echo = {});
    void submitConnect(const IpAddress& address, std::uint16_t port, int timeoutMs, ProbeCompletion done,
                       Client client = 0);
    // A connection attempt whose SYN may pass hopLimit - 1 routers, for a trace: the router where
    // its limit ran out answers in errorAnswer (its "time exceeded", or an "unreachable"); the
    // host's own refusal counts as its answer too (errorAnswer from the host itself, as a port
    // unreachable), and so does the connection made.
    void submitTracingConnect(const IpAddress& address, std::uint16_t port, std::uint8_t hopLimit, int timeoutMs,
                              ProbeCompletion done, Client client = 0);
    // Whether the client's echo requests and ARP questions that go unanswered (a scan's) are
    // given up early: each waits as QuickScanWait says from the slowest echo or ARP answer the
    // client has had so far, counted from its own send, and a slower answer later lengthens the
    // waits of those still out. Off for every client unless turned on; turning it off forgets
    // the client, whose requests already out keep their waits.
    void setQuickWait(Client client, bool quick);
    // Drops the client's requests that wait to be sent (a stopped scan's), so that they hold
    // up no one behind them; their done is never called. Returns how many.
    std::size_t withdraw(Client client);
    // Requests waiting to be sent: all of them, or the client's.
    std::size_t requestsQueued();
    std::size_t requestsQueued(Client client);

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
        OnLink onLink;
        bool answeredArp;
        std::int64_t submittedNs;
        // A TCP port to connect to instead of an echo request; 0 for none.
        std::uint16_t port = 0;
        // The IPv6 address to probe instead of address.
        std::optional<IpAddress> ipv6 = std::nullopt;
        EchoOptions echo = {};
    };
    // A request whose ARP question is out, with the link it went out on.
    struct ArpWait
    {
        Pending request;
        LocalLinks::Link link;
        std::int64_t sentNs;
    };
    // A connection under way, by its socket.
    struct Connecting
    {
        ProbeCompletion done;
        std::int64_t sentNs;
        std::int64_t deadlineNs;
        // Set for a trace's connection: where it went, and whether over IPv6.
        std::uint8_t hopLimit = 0;
        QString destination = {};
        bool ipv6 = false;
    };
    using Finished = std::vector<std::pair<ProbeCompletion, ProbeResult>>;

    // How long a request of the client's that leaves now may wait for its answer.
    std::int64_t answerWaitNs(Client client, int timeoutMs);
    // An echo or ARP answer came to one of the client's requests after roundTripNs: a quick
    // client's slowest answer so far may have grown, and with it the waits of its requests out.
    void heardAnswer(Client client, std::int64_t roundTripNs);
    void startThread();
    void run();
    // Takes the next request whose turn has come; an echo request of no options of its own waits
    // in m_toSend for the turn's others.
    bool sendNext(std::int64_t nowNs, Finished& finished);
    // Sends the echo requests waiting in m_toSend; one the socket refuses fails at once.
    void sendBatch(Finished& finished);
    bool askByArp(Pending& request, std::int64_t nowNs);
    void receiveAll(Finished& finished);
    // One datagram of the IPv4 socket from an address (network byte order): a reply, or a
    // network's error about a request.
    void takeDatagram(const std::uint8_t* data, std::size_t size, std::uint32_t from, struct msghdr& message,
                      std::int64_t nowNs, Finished& finished);
    // Both return the path MTU of the kernel's own "message too long" error about a send just
    // refused, where there is one.
    std::optional<int> receiveErrorQueue(Finished& finished);
    bool sendIpv6(Pending& request, Finished& finished);
    void receiveIpv6(Finished& finished);
    std::optional<int> receiveIpv6ErrorQueue(Finished& finished);
    // Sends the echo request in m_packet as sendto does (with echo's hop limit), unfragmented where asked: pathMtu is
    // then the MTU of the kernel's refusal of one larger than the path carries.
    ssize_t sendEcho(IcmpSocket& socket, const struct sockaddr* destination, socklen_t destinationSize,
                     const EchoOptions& echo, std::optional<int>& pathMtu, Finished& finished);
    // Sends m_packet, with the hop limit where it is not 0.
    ssize_t sendPacket(IcmpSocket& socket, const struct sockaddr* destination, socklen_t destinationSize,
                       std::uint8_t hopLimit);
    void finishWithIpv6Error(const Icmpv6Echo::Error& error, const IpAddress::Ipv6Bytes& offender, Finished& finished);
    // The outstanding request with the sequence number is answered by the reply just received
    // (its kernel time stamp in message, where there is one).
    void finishWithReply(std::uint16_t sequence, std::int64_t nowNs, struct msghdr& message, Finished& finished);
    void queue(Pending request);
    void receiveArp(Finished& finished);
    void startConnect(Pending& request, std::int64_t nowNs, Finished& finished);
    void finishConnects(Finished& finished);
    // What failed a trace's connection: the ICMP error on its socket's error queue, or the host's
    // refusal.
    static ProbeResult tracedConnectFailure(int fd, int error, const Connecting& connecting, std::int64_t nowNs);
    void closeConnects();
    void finishExpired(std::int64_t nowNs, Finished& finished);
    // mtu: the next hop's, where the error is that the request was too large for it.
    void finishWithError(std::uint16_t sequence, std::uint32_t destination, std::uint8_t type, std::uint8_t code,
                         std::uint32_t offender, std::uint32_t mtu, Finished& finished);
    void wait(std::int64_t nowNs);
    void wake();

    NameResolver& m_resolver;
    std::unique_ptr<IcmpSocket> m_socket;
    std::unique_ptr<IcmpSocket> m_socket6;
    std::unique_ptr<ArpSocket> m_arp;
    int m_wakeFd = -1;
    std::uint16_t m_identifier = 0;

    std::mutex m_mutex;
    std::deque<Pending> m_queue;
    // Whether the thread went to sleep, or is about to, without a request queued: the next one
    // must wake it.
    bool m_sleepsWithEmptyQueue = false;
    std::int64_t m_intervalNs = ProbePacer::DefaultIntervalNs;
    // The clients whose silent requests are given up early, with the slowest answer each has
    // had so far (none before its first).
    std::unordered_map<Client, std::optional<std::chrono::microseconds>> m_quickClients;
    std::atomic<bool> m_anyQuickClient{false};

    // The engine's thread alone touches these.
    // The echo request being sent, kept between sends so that its memory is taken once.
    std::vector<std::uint8_t> m_packet;
    // The IPv4 replies of a turn, and the echo requests that leave together in it.
    DatagramBatch m_received;
    DatagramBatch m_toSend;
    std::vector<std::uint16_t> m_toSendSequences;
    OutstandingTable m_outstanding;
    ProbePacer m_pacer;
    std::multimap<std::int64_t, ArpWait> m_arpWaiting; // by deadline
    std::map<int, Connecting> m_connecting;
    LocalLinks m_links = LocalLinks::of({});
    LinkChanges m_linkChanges;
    // What the last wait saw waiting on the sockets; everything before the first.
    struct Readiness
    {
        bool ipv4Errors = true;
        bool ipv6 = true;
        bool ipv6Errors = true;
        bool arp = true;
        // A notice that the interfaces changed (LinkChanges).
        bool links = true;
    };
    Readiness m_ready;
    std::int64_t m_linksReadNs = 0;
    bool m_linksRead = false;

    std::atomic<Client> m_lastClient{0};
    std::atomic<std::size_t> m_inFlight{0};
    std::atomic<bool> m_stopping{false};
    std::once_flag m_started;
    std::thread m_thread;
};

} // namespace Tarnwick
