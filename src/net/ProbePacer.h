// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace Tarnwick {

// Spaces the requests out at the interval, so that a scan of a whole network never floods it
// (fping's smallest interval, 1 ms, is the default). Each send is due one interval after the
// previous one was due, not after it actually left: a wake-up that comes a little late is made
// up by the next send, so the rate holds over thousands of requests. After a pause longer than
// the catch-up allowance the schedule starts afresh, so an idle engine never bursts.
// At intervals up to ten milliseconds, one wake-up sends every request that falls due within ten
// milliseconds from it: the rate is the same, and the engine wakes a hundred times a second at
// most, instead of once for each request. A wake-up and its context switches cost more than the
// send itself (1,000 devices every second: 29 ms of CPU per 1,000 requests woken one at a time,
// 6.5-10 ms in turns); ten requests together are still no burst a network notices.
class ProbePacer
{
public:
    static constexpr std::int64_t DefaultIntervalNs = 1000000;
    // How far behind its schedule the pacer may fall and still catch up.
    static constexpr std::int64_t CatchUpNs = 2000000;
    // The longest a turn's requests are spread over.
    static constexpr std::int64_t TurnNs = 10000000;

    explicit ProbePacer(std::int64_t intervalNs = DefaultIntervalNs)
        : m_intervalNs(intervalNs)
    {
    }

    void setInterval(std::int64_t intervalNs) { m_intervalNs = intervalNs; }
    bool maySend(std::int64_t nowNs) const { return !m_sentAny || nowNs + lead() >= nextSendAt(); }
    std::int64_t nextSendAt() const { return m_dueNs + m_intervalNs; }
    void sent(std::int64_t nowNs)
    {
        const bool onSchedule = m_sentAny && nowNs - nextSendAt() <= CatchUpNs;
        m_dueNs = onSchedule ? nextSendAt() : nowNs;
        m_sentAny = true;
    }

private:
    // How long before its time a request may leave with the one that woke the engine.
    std::int64_t lead() const { return m_intervalNs <= TurnNs ? TurnNs - m_intervalNs : 0; }

    std::int64_t m_intervalNs;
    // When the last request was due to leave.
    std::int64_t m_dueNs = 0;
    bool m_sentAny = false;
};

} // namespace Tarnwick
