// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "IpAddress.h"
#include "ProbeEngine.h"
#include "ThreadMailbox.h"
#include "TraceHops.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

namespace Tarnwick {

// Traces the routers on the way to one address through the engine: echo requests (or TCP
// connections) with rising hop limits, matched by the engine like any other. The requests of HopsInFlight hops leave at
// once, and a further hop's as each earlier one completes, so that a path takes about one
// round trip plus the time-out of its silent hops rather than one wait per hop; nothing is sent
// beyond the hop where the path ended. Once the path has ended, a hop before it that stays
// silent (a router that sends no "time exceeded", or holds it back as Linux limits their rate)
// is waited for only SilentHopPatience times the slowest answer, at least MinSilentWaitMs, as
// traceroute does.
class PathTrace : public QObject
{
    Q_OBJECT

public:
    static constexpr int HopsInFlight = 16;
    static constexpr int DefaultMaxHops = 30;
    static constexpr int SilentHopPatience = 10;
    static constexpr int MinSilentWaitMs = 100;

    // A trace by TCP keeps fewer hops in flight: each request that gets as far as the host makes
    // a connection there, which its logs may count.
    static constexpr int TcpHopsInFlight = 4;

    struct Options
    {
        int maxHops = DefaultMaxHops;
        int probesPerHop = 3;
        int timeoutMs = 1000;
        // Connections to this TCP port instead of echo requests, for a host that answers no
        // echo (as traceroute -T does); 0 for echo requests.
        std::uint16_t tcpPort = 0;
    };

    PathTrace(ProbeEngine& engine, const IpAddress& destination, Options options, QObject* parent = nullptr);
    ~PathTrace() override;

    void start();
    const TraceHops& hops() const { return m_hops; }
    bool isFinished() const { return m_finished; }

signals:
    // A request's outcome came in.
    void probeAnswered(int hop);
    // Every hop worth waiting for is complete.
    void finished();

private:
    void answered(int hop, int probe, const ProbeResult& result);
    void sendHop(int hop);
    void sendWhatMayGo();
    // Gives up the silent hops before the end of the path that have waited long enough, and
    // sets the timer for the next one to.
    void giveUpSilentHops();
    void finishIfDone();

    ProbeEngine& m_engine;
    IpAddress m_destination;
    Options m_options;
    TraceHops m_hops;
    ProbeEngine::Client m_client;
    // The engine calls back on its own thread; the trace may be gone by then.
    ThreadMailbox<PathTrace> m_mailbox{this};
    QElapsedTimer m_clock;
    QList<qint64> m_sentMs; // by hop, from 1
    QTimer m_patience;
    int m_nextHop = 1;
    bool m_finished = false;
};

} // namespace Tarnwick
