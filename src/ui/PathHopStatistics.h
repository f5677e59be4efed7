// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace Tarnwick {

class TraceHops;

// Each hop's figures over the last rounds of a trace, as mtr shows them: who answered last,
// how many requests were sent and lost, and the last, average, best and worst round trip of
// the answers.
class PathHopStatistics
{
public:
    static constexpr int RoundsKept = 10;

    struct Hop
    {
        QString address; // the last that answered; empty while none has
        int sent = 0;
        int lost = 0;
        std::optional<double> lastMs;
        std::optional<double> averageMs;
        std::optional<double> bestMs;
        std::optional<double> worstMs;
        // The share of requests lost, in percent.
        double lossPercent() const { return sent ? 100.0 * lost / sent : 0.0; }
    };

    // A finished round: its hops up to where the path ended. Hops beyond the end of the last
    // round are dropped.
    void addRound(const TraceHops& round);
    QList<Hop> hops() const;
    int rounds() const { return int(m_rounds.size()); }

private:
    // One request's outcome; no round trip: lost.
    struct Answer
    {
        QString from;
        std::optional<double> roundTripMs;
    };
    // The last rounds, oldest first; each round its hops in order.
    QList<QList<Answer>> m_rounds;
};

} // namespace Tarnwick
