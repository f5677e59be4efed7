// SPDX-License-Identifier: GPL-3.0-or-later
#include "TraceHops.h"

#include <QHash>

#include <algorithm>

namespace Tarnwick {

namespace {

// The earlier of two hops, where 0 is none.
int earlier(int hop, int other)
{
    return hop == 0 ? other : other == 0 ? hop : std::min(hop, other);
}

} // namespace

bool TraceHops::Hop::complete() const
{
    return std::none_of(probes.begin(), probes.end(), [](const Probe& probe) { return probe.state == Probe::Waiting; });
}

QString TraceHops::Hop::address() const
{
    for (const Probe& probe : probes)
        if (probe.state == Probe::Answered)
            return probe.from;
    return {};
}

TraceHops::TraceHops(QString destination, int maxHops, int probesPerHop)
    : m_destination(std::move(destination))
    , m_probesPerHop(probesPerHop)
    , m_hops(maxHops, Hop{QList<Probe>(probesPerHop)})
{
}

void TraceHops::record(int hop, int probe, const ProbeResult& result)
{
    if (hop < 1 || hop > maxHops() || probe < 0 || probe >= m_probesPerHop)
        return;
    Probe& slot = m_hops[hop - 1].probes[probe];
    if (slot.state != Probe::Waiting)
        return;
    const ProbeResult::ErrorAnswer& error = result.errorAnswer;
    if (result.answered()) {
        slot = {Probe::Answered, m_destination, result.roundTripUs};
        m_reachedAt = earlier(m_reachedAt, hop);
    } else if (!error.from.isEmpty()) {
        // A router that says the destination cannot be reached says it of every request that
        // got past it: the answer belongs to the hop after the one where the router's own
        // "time exceeded" came from, however late it came (a router asks ARP for seconds first).
        if (!error.hopLimitExceeded && error.from != m_destination) {
            const int after = hopAfter(error.from);
            if (after > 0 && after < hop) {
                slot.state = Probe::Silent;
                for (Probe& previous : m_hops[after - 1].probes) {
                    if (previous.state != Probe::Answered) {
                        previous = {Probe::Answered, error.from, error.roundTripUs, markOf(error)};
                        break;
                    }
                }
                m_unreachableAt = earlier(m_unreachableAt, after);
                m_slowestUs = std::max(m_slowestUs, error.roundTripUs);
                return;
            }
        }
        slot = {Probe::Answered, error.from, error.roundTripUs, error.hopLimitExceeded ? QString() : markOf(error)};
        // The destination's own "unreachable" (a port, a protocol) says it was reached.
        if (!error.hopLimitExceeded) {
            if (slot.mark.isEmpty() || error.from == m_destination)
                m_reachedAt = earlier(m_reachedAt, hop);
            else
                m_unreachableAt = earlier(m_unreachableAt, hop);
        }
    }
    if (slot.state == Probe::Answered) {
        m_slowestUs = std::max(m_slowestUs, slot.roundTripUs);
    } else if (result.kind == ProbeResult::SocketError) {
        slot.state = Probe::Silent;
        m_notSentAt = earlier(m_notSentAt, hop);
        if (m_notSent.isEmpty())
            m_notSent = result.reason;
    } else {
        slot.state = Probe::Silent;
    }
}

int TraceHops::hopAfter(const QString& router) const
{
    for (int number = 1; number <= maxHops(); ++number)
        for (const Probe& probe : hop(number).probes)
            if (probe.state == Probe::Answered && probe.from == router && probe.mark.isEmpty())
                return number + 1 <= maxHops() ? number + 1 : 0;
    return 0;
}

void TraceHops::giveUp(int hop)
{
    for (int probe = 0; probe < m_probesPerHop; ++probe)
        record(hop, probe, ProbeResult::timeout());
}

int TraceHops::lastHop() const
{
    const int ended = earlier(earlier(m_reachedAt, m_unreachableAt), m_notSentAt);
    return ended ? ended : maxHops();
}

bool TraceHops::finished() const
{
    const int last = lastHop();
    for (int number = 1; number <= last; ++number)
        if (!hop(number).complete())
            return false;
    return true;
}

TraceHops::End TraceHops::end() const
{
    if (!finished())
        return End::Open;
    const int last = lastHop();
    if (last == m_reachedAt)
        return End::Reached;
    if (last == m_unreachableAt)
        return End::Unreachable;
    if (last == m_notSentAt)
        return End::NotSent;
    return End::HopsUsedUp;
}

QStringList TraceHops::routers() const
{
    QStringList routers;
    const int last = lastHop();
    for (int number = 1; number <= last; ++number) {
        const QString address = hop(number).address();
        if (number == last && address == m_destination)
            break;
        routers << address;
    }
    return routers;
}

QString TraceHops::loopingAddress() const
{
    QHash<QString, int> seenAt;
    const int last = lastHop();
    for (int number = 1; number <= last; ++number) {
        for (const Probe& probe : hop(number).probes) {
            if (probe.state != Probe::Answered)
                continue;
            const auto seen = seenAt.constFind(probe.from);
            if (seen != seenAt.constEnd() && number - *seen > 1)
                return probe.from;
            seenAt[probe.from] = number;
        }
    }
    return {};
}

QString TraceHops::markOf(const ProbeResult::ErrorAnswer& answer)
{
    const bool ipv6 = answer.from.contains(QLatin1Char(':'));
    if (ipv6) {
        switch (answer.code) {
        case 0:
            return QStringLiteral("!N");
        case 1:
        case 5:
        case 6:
            return QStringLiteral("!X");
        case 3:
            return QStringLiteral("!H");
        case 4:
            return {};
        }
    } else {
        switch (answer.code) {
        case 0:
        case 6:
            return QStringLiteral("!N");
        case 1:
        case 7:
            return QStringLiteral("!H");
        case 2:
            return QStringLiteral("!P");
        case 3:
            return {};
        case 4:
            return QStringLiteral("!F");
        case 5:
            return QStringLiteral("!S");
        case 9:
        case 10:
        case 13:
            return QStringLiteral("!X");
        }
    }
    return QStringLiteral("!<%1>").arg(answer.code);
}

} // namespace Tarnwick
