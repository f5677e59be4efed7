// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProbeWaiter.h"

#include <algorithm>

namespace Tarnwick {

ProbeWaiter::ProbeWaiter()
    : m_state(std::make_shared<State>())
{
}

ProbeCompletion ProbeWaiter::deliverTo(qint64 key) const
{
    return [state = m_state, key](const ProbeResult& result) {
        QMutexLocker lock(&state->mutex);
        state->arrived.insert(key, result);
        state->changed.wakeAll();
    };
}

QList<ProbeResult> ProbeWaiter::takeFrom(qint64 key, QDeadlineTimer deadline)
{
    QList<ProbeResult> taken;
    QMutexLocker lock(&m_state->mutex);
    while (!m_state->stopped && !m_state->arrived.contains(key) && !deadline.hasExpired())
        m_state->changed.wait(&m_state->mutex, deadline);
    if (m_state->stopped)
        return taken;
    for (qint64 k = key; m_state->arrived.contains(k); ++k)
        taken << m_state->arrived.take(k);
    return taken;
}

std::optional<ProbeResult> ProbeWaiter::probe(const AsyncProbe& probe, const QString& host, int timeoutMs)
{
    const qint64 key = m_nextKey++;
    const QDeadlineTimer bound(qint64(timeoutMs) + NetworkProbe::resolutionBoundMs(timeoutMs) + 2000);
    probe(host, timeoutMs, deliverTo(key));
    const QList<ProbeResult> taken = takeFrom(key, bound);
    if (!taken.isEmpty())
        return taken.first();
    if (stopped())
        return std::nullopt;
    return ProbeResult::timeout();
}

bool ProbeWaiter::sleep(int milliseconds)
{
    // Outcomes wake the waiter too: only the deadline or a stop ends a sleep.
    const QDeadlineTimer deadline(std::max(0, milliseconds));
    QMutexLocker lock(&m_state->mutex);
    while (!m_state->stopped && !deadline.hasExpired())
        m_state->changed.wait(&m_state->mutex, deadline);
    return !m_state->stopped;
}

void ProbeWaiter::stop()
{
    QMutexLocker lock(&m_state->mutex);
    m_state->stopped = true;
    m_state->changed.wakeAll();
}

bool ProbeWaiter::stopped() const
{
    QMutexLocker lock(&m_state->mutex);
    return m_state->stopped;
}

} // namespace Tarnwick
