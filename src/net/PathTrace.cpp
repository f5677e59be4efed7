// SPDX-License-Identifier: GPL-3.0-or-later
#include "PathTrace.h"

#include <algorithm>

namespace Tarnwick {

PathTrace::PathTrace(ProbeEngine& engine, const IpAddress& destination, Options options, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_destination(destination)
    , m_options(options)
    , m_hops(destination.toString(), std::clamp(options.maxHops, 1, 255), std::max(options.probesPerHop, 1))
    , m_client(engine.newClient())
{
    m_patience.setSingleShot(true);
    connect(&m_patience, &QTimer::timeout, this, [this] {
        giveUpSilentHops();
        finishIfDone();
    });
}

PathTrace::~PathTrace()
{
    m_mailbox.close();
    m_engine.withdraw(m_client);
}

void PathTrace::start()
{
    m_clock.start();
    sendWhatMayGo();
}

void PathTrace::sendWhatMayGo()
{
    int open = 0;
    for (int hop = 1; hop < m_nextHop; ++hop)
        open += m_hops.hop(hop).complete() ? 0 : 1;
    const int inFlight = m_options.tcpPort ? TcpHopsInFlight : HopsInFlight;
    while (open < inFlight && m_nextHop <= m_hops.lastHop()) {
        sendHop(m_nextHop++);
        ++open;
    }
}

void PathTrace::sendHop(int hop)
{
    m_sentMs.resize(hop);
    m_sentMs[hop - 1] = m_clock.elapsed();
    EchoOptions echo;
    echo.hopLimit = std::uint8_t(hop);
    for (int probe = 0; probe < m_hops.probesPerHop(); ++probe) {
        ProbeCompletion done = [mailbox = m_mailbox, hop, probe](const ProbeResult& result) {
            mailbox.post([hop, probe, result](PathTrace& trace) { trace.answered(hop, probe, result); });
        };
        if (m_options.tcpPort)
            m_engine.submitTracingConnect(m_destination, m_options.tcpPort, echo.hopLimit, m_options.timeoutMs,
                                          std::move(done), m_client);
        else
            m_engine.submit(m_destination, m_options.timeoutMs, std::move(done), m_client,
                            ProbeEngine::OnLink::EchoOnly, echo);
    }
}

void PathTrace::answered(int hop, int probe, const ProbeResult& result)
{
    if (m_finished)
        return;
    m_hops.record(hop, probe, result);
    emit probeAnswered(hop);
    giveUpSilentHops();
    finishIfDone();
}

void PathTrace::giveUpSilentHops()
{
    if (!m_hops.pathEnded())
        return;
    const qint64 patienceMs = std::max<qint64>(MinSilentWaitMs, SilentHopPatience * m_hops.slowestRoundTripUs() / 1000);
    const qint64 now = m_clock.elapsed();
    qint64 nextDue = -1;
    for (int hop = 1; hop <= m_hops.lastHop() && hop < m_nextHop; ++hop) {
        if (m_hops.hop(hop).complete())
            continue;
        const qint64 due = m_sentMs.at(hop - 1) + patienceMs;
        if (due <= now)
            m_hops.giveUp(hop);
        else if (nextDue < 0 || due < nextDue)
            nextDue = due;
    }
    if (nextDue >= 0 && (!m_patience.isActive() || m_patience.remainingTime() > nextDue - now))
        m_patience.start(int(nextDue - now));
}

void PathTrace::finishIfDone()
{
    if (m_finished)
        return;
    if (!m_hops.finished()) {
        sendWhatMayGo();
        return;
    }
    m_finished = true;
    m_patience.stop();
    // Requests for hops past the end that have not left yet need not.
    m_engine.withdraw(m_client);
    emit finished();
}

} // namespace Tarnwick
