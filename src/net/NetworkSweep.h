// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ThreadMailbox.h"
#include "WatchedNetworks.h"
#include "data/NetworkRound.h"
#include "data/ProbeResult.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace Tarnwick {

class NeighbourFinder;
class ProbeEngine;

// One round over the watched networks: every host address of each IPv4 network on a link that
// speaks ARP is asked by ARP alone (the engine's own frames, so the kernel's neighbour table
// gains no failed entry), fed to the engine from a timer at the link's pace, while the IPv6
// neighbours are asked for on a thread of the sweep's own. Lives on the thread that makes it,
// which must run an event loop; roundFinished comes there.
class NetworkSweep : public QObject
{
    Q_OBJECT

public:
    static constexpr int TimeoutMs = 1000;
    // The most ARP requests a second, whatever the link.
    static constexpr int MostPerSecond = 500;
    // An ARP request on the wire: 42 bytes of frame padded to 60, the check sum, the preamble and
    // the gap between frames.
    static constexpr int RequestBitsOnWire = 84 * 8;
    // The most requests given to the engine at once after a late tick, and the most of ours
    // waiting there to be sent (all of which it sends back to back when it runs late): the pace
    // is twice this below the most a second, so that no second holds more.
    static constexpr int MostAtOnce = 4;
    // Requests given to the engine and not answered yet. A silent address holds its place for
    // the time-out, so this must exceed a second at the most pace to keep that pace.
    static constexpr int MaxInFlight = 1024;

    // engine and neighbours (null: no IPv6 neighbours) must outlive the sweep.
    NetworkSweep(ProbeEngine& engine, const NeighbourFinder* neighbours, QObject* parent = nullptr);
    ~NetworkSweep() override;

    // Starts one round; ignored while one runs.
    void start(const WatchedNetworks& networks);
    // Ends the round under way without a roundFinished: what has not been sent is taken back.
    void stop();
    bool isRunning() const { return m_running; }

    // ARP requests a second on a link of this speed in Mb/s (unknown: 0 or less): at most 1 %
    // of the link, and never more than MostPerSecond.
    static int requestsPerSecond(qint64 megabitsPerSecond);

signals:
    void roundFinished(const Tarnwick::NetworkRound& round);

private:
    struct Target
    {
        std::uint32_t address; // network byte order
        int link; // index into the round's links
    };
    void planNetwork(const WatchedNetworks::Ipv4Network& network, const LocalLinks& links);
    void feed();
    void arpAnswered(std::uint64_t round, const Target& target, const ProbeResult& result);
    void ipv6Found(std::uint64_t round, const QList<NetworkSighting>& found);
    void see(const NetworkSighting& sighting);
    void finishIfDone();
    void joinIpv6Search();

    ProbeEngine& m_engine;
    const NeighbourFinder* m_neighbours;
    std::uint64_t m_client;
    // The engine calls back on its own thread; the sweep may be gone by then.
    ThreadMailbox<NetworkSweep> m_mailbox{this};
    QTimer m_feedTimer;

    bool m_running = false;
    std::uint64_t m_round = 0;
    NetworkRound m_result;
    QSet<QString> m_seenKeys;
    QElapsedTimer m_clock;
    std::vector<Target> m_targets;
    // The links of the round: interface index, name and pace.
    QList<int> m_linkIndexes;
    QStringList m_linkNames;
    QList<std::int64_t> m_linkIntervalsNs;
    std::size_t m_nextTarget = 0;
    std::int64_t m_nextDueNs = 0;
    int m_inFlight = 0;
    bool m_ipv6Pending = false;
    std::atomic<bool> m_stopIpv6{false};
    std::thread m_ipv6Search;
};

} // namespace Tarnwick
