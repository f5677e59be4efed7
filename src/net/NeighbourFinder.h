// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

#include <atomic>
#include <cstdint>

namespace Tarnwick {

class OuiRegistry;

// Finds the IPv6 hosts on this machine's links: one echo request to all nodes (ff02::1) on
// each link that is up (a bridge's ports are no links of their own), and one more from the
// link's global address where it has one, then whoever answers within the listening time, with
// the hardware address the kernel learnt for it and the maker of that hardware. Each host that
// answers is sent one echo request of its own too, so that the kernel resolves its hardware
// address. A host heard at a global address is listed by it rather than by its link-local one.
class NeighbourFinder
{
public:
    struct Neighbour
    {
        // "fe80::1%eth0" for an address that is only meaningful on its link.
        QString address;
        QString interfaceName;
        // "aa:bb:cc:dd:ee:ff", or empty where the kernel learnt none.
        QString hardwareAddress;
        QString vendor;
        std::int64_t roundTripUs = 0;
    };
    struct Outcome
    {
        // By link, then address; each answering address once.
        QList<Neighbour> neighbours;
        // Why nothing could be sent (no ICMPv6 socket, no link up); empty otherwise.
        QString error;
        int linksAsked = 0;
    };

    // Long enough for hosts that wake their link for the answer; most answer within a second.
    static constexpr int ListenMs = 2000;

    // Opens its ICMPv6 socket: the unprivileged datagram kind where the system lets this user
    // have it, else a raw one (which takes the right to, so a program that gives up its
    // privileges makes its finder first). vendors: who made which hardware; it must outlive
    // the finder.
    explicit NeighbourFinder(const OuiRegistry& vendors);
    ~NeighbourFinder();
    NeighbourFinder(const NeighbourFinder&) = delete;
    NeighbourFinder& operator=(const NeighbourFinder&) = delete;

    // Asks and listens for listenMs, on the calling thread; a stop ends the listening early
    // with what was heard so far.
    Outcome find(int listenMs, const std::atomic<bool>* stop = nullptr) const;

    // "Neighbours found: 3 on 2 links".
    static QString summary(const Outcome& outcome);

private:
    const OuiRegistry& m_vendors;
    // Before the socket, which sets it as it is opened.
    bool m_raw = false;
    int m_fd = -1;
    int m_openError = 0;
};

} // namespace Tarnwick
