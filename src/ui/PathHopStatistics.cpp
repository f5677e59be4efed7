// SPDX-License-Identifier: GPL-3.0-or-later
#include "PathHopStatistics.h"

#include "net/TraceHops.h"

#include <algorithm>

namespace Tarnwick {

void PathHopStatistics::addRound(const TraceHops& round)
{
    QList<Answer> answers;
    for (int number = 1; number <= round.lastHop(); ++number) {
        // The watch and this view ask each hop once a round; a hop of several requests counts
        // its first.
        const TraceHops::Probe& probe = round.hop(number).probes.first();
        if (probe.state == TraceHops::Probe::Answered)
            answers.append({probe.from, double(probe.roundTripUs) / 1000.0});
        else
            answers.append({QString(), std::nullopt});
    }
    m_rounds.append(answers);
    while (m_rounds.size() > RoundsKept)
        m_rounds.removeFirst();
}

QList<PathHopStatistics::Hop> PathHopStatistics::hops() const
{
    QList<Hop> hops;
    if (m_rounds.isEmpty())
        return hops;
    const qsizetype count = m_rounds.last().size();
    hops.resize(count);
    QList<double> sums(count, 0.0);
    QList<int> answered(count, 0);
    for (const QList<Answer>& round : m_rounds) {
        for (qsizetype i = 0; i < count && i < round.size(); ++i) {
            Hop& hop = hops[i];
            const Answer& answer = round.at(i);
            ++hop.sent;
            if (!answer.roundTripMs) {
                ++hop.lost;
                continue;
            }
            const double ms = *answer.roundTripMs;
            hop.address = answer.from;
            hop.lastMs = ms;
            hop.bestMs = hop.bestMs ? std::min(*hop.bestMs, ms) : ms;
            hop.worstMs = hop.worstMs ? std::max(*hop.worstMs, ms) : ms;
            sums[i] += ms;
            ++answered[i];
        }
    }
    for (qsizetype i = 0; i < count; ++i) {
        if (answered.at(i))
            hops[i].averageMs = sums.at(i) / answered.at(i);
        // The last round's own outcome: a hop silent in it shows no last round trip.
        if (!m_rounds.last().at(i).roundTripMs)
            hops[i].lastMs.reset();
    }
    return hops;
}

} // namespace Tarnwick
