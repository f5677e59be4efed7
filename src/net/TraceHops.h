// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/ProbeResult.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace Tarnwick {

// What a trace has heard, hop by hop, and what follows from it. Hop n is the echo request that
// may pass n - 1 routers: the router where its hop limit ran out answers "time exceeded", the
// destination answers with its echo reply. The path ends at the first hop the destination
// answered (so a middlebox that answers every hop limit itself is a path of one hop), at the
// first hop that said the destination cannot be reached, or at the last hop tried.
class TraceHops
{
public:
    struct Probe
    {
        enum State { Waiting, Silent, Answered };
        State state = Waiting;
        QString from;
        std::int64_t roundTripUs = 0;
        // What an "unreachable" answer says, as traceroute marks it: "!H", "!N", "!X" …
        QString mark = {};
    };
    struct Hop
    {
        QList<Probe> probes;

        bool complete() const;
        // The first address that answered at this hop; empty for a silent hop.
        QString address() const;
    };
    enum class End { Open, Reached, Unreachable, NotSent, HopsUsedUp };

    TraceHops(QString destination, int maxHops, int probesPerHop);

    void record(int hop, int probe, const ProbeResult& result);

    const QString& destination() const { return m_destination; }
    int maxHops() const { return int(m_hops.size()); }
    int probesPerHop() const { return m_probesPerHop; }
    const Hop& hop(int number) const { return m_hops.at(number - 1); }
    // The last hop worth waiting for: where the path ended, else the last hop tried.
    int lastHop() const;
    // Whether every hop up to the last worth waiting for is complete.
    bool finished() const;
    End end() const;
    // Whether the path has ended before the last hop tried (the destination answered, or a
    // router said it cannot be reached), so that the hops before it are all there is to wait for.
    bool pathEnded() const { return m_reachedAt || m_unreachableAt || m_notSentAt; }
    // The longest round trip of any answer so far; 0 before the first.
    std::int64_t slowestRoundTripUs() const { return m_slowestUs; }
    // Why no request could leave, where one could not.
    const QString& notSentReason() const { return m_notSent; }
    // The routers on the way, in order and without the destination: each hop's address, empty
    // for a silent one.
    QStringList routers() const;
    // An address that answers at two hops with another hop between them: the path loops. Empty
    // where none does.
    QString loopingAddress() const;

    // Counts the requests of a hop that are still waiting as unanswered.
    void giveUp(int hop);

    // The traceroute mark of an answer that is not "time exceeded": "!H" and the like; empty for
    // one that says the destination itself was reached.
    static QString markOf(const ProbeResult::ErrorAnswer& answer);

private:
    // The hop after the first where the router said the hop limit ran out; 0 for none.
    int hopAfter(const QString& router) const;

    QString m_destination;
    int m_probesPerHop;
    QList<Hop> m_hops;
    std::int64_t m_slowestUs = 0;
    int m_reachedAt = 0;
    int m_unreachableAt = 0;
    int m_notSentAt = 0;
    QString m_notSent;
};

} // namespace Tarnwick
