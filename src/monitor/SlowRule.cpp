// SPDX-License-Identifier: GPL-3.0-or-later
#include "SlowRule.h"

#include <algorithm>

namespace Tarnwick {

SlowRule::SlowRule(Limits limits)
    : m_limits(limits)
{
}

void SlowRule::reset(Limits limits)
{
    m_limits = limits;
    m_window.clear();
    m_slow = false;
}

bool SlowRule::judged() const
{
    return m_window.size() >= qsizetype(std::max(m_limits.results, 1));
}

std::optional<SlowRule::Figures> SlowRule::take(const ProbeResult& result)
{
    // A host that answers ARP but drops echo requests has no round trip to judge, and its
    // missing replies are its firewall's, not loss.
    if ((m_limits.averageMs <= 0 && m_limits.lossPercent <= 0) || result.kind == ProbeResult::Present)
        return std::nullopt;
    m_window.push_back(result);
    const auto size = qsizetype(std::max(m_limits.results, 1));
    while (m_window.size() > size)
        m_window.removeFirst();
    if (m_window.size() < size)
        return std::nullopt;

    Figures now = figures();
    const int missed = now.results - now.replies;
    // A share of a limit, compared in whole numbers: over means value > limit * percent / 100.
    const auto averageOver = [&](int percent) {
        return m_limits.averageMs > 0 && now.replies > 0 && now.averageMs * 100 > double(m_limits.averageMs) * percent;
    };
    const auto lossOver = [&](int percent) {
        return m_limits.lossPercent > 0 && missed * 100 * 100 > m_limits.lossPercent * percent * now.results;
    };
    const bool wasSlow = m_slow;
    if (!wasSlow) {
        now.byAverage = averageOver(100);
        m_slow = now.byAverage || lossOver(100);
    } else {
        m_slow = averageOver(LeavePercent) || lossOver(LeavePercent);
    }
    if (m_slow == wasSlow)
        return std::nullopt;
    now.slow = m_slow;
    return now;
}

SlowRule::Figures SlowRule::figures() const
{
    Figures figures;
    figures.results = int(m_window.size());
    std::int64_t totalUs = 0;
    for (const ProbeResult& result : m_window) {
        if (!result.answered())
            continue;
        ++figures.replies;
        totalUs += result.roundTripUs;
    }
    if (figures.replies > 0)
        figures.averageMs = double(totalUs) / figures.replies / 1000.0;
    figures.lossPercent = (figures.results - figures.replies) * 100 / figures.results;
    return figures;
}

} // namespace Tarnwick
