// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace Tarnwick {

// Spaces the requests out: no two leave closer together than the interval, so that a scan
// of a whole network never floods it (fping's smallest interval, 1 ms, is the default).
class ProbePacer
{
public:
    static constexpr std::int64_t DefaultIntervalNs = 1000000;

    explicit ProbePacer(std::int64_t intervalNs = DefaultIntervalNs)
        : m_intervalNs(intervalNs)
    {
    }

    void setInterval(std::int64_t intervalNs) { m_intervalNs = intervalNs; }
    bool maySend(std::int64_t nowNs) const { return !m_sentAny || nowNs >= nextSendAt(); }
    std::int64_t nextSendAt() const { return m_lastNs + m_intervalNs; }
    void sent(std::int64_t nowNs)
    {
        m_lastNs = nowNs;
        m_sentAny = true;
    }

private:
    std::int64_t m_intervalNs;
    std::int64_t m_lastNs = 0;
    bool m_sentAny = false;
};

} // namespace Tarnwick
