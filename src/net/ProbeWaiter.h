// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "NetworkProbe.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QWaitCondition>

#include <memory>
#include <optional>

namespace Tarnwick {

// Where one thread waits for the outcomes of the probes it sent, which arrive on other threads,
// and sleeps between them. A stop wakes every wait at once and makes later ones return at once.
// Outcomes that arrive after the waiter has gone are dropped.
class ProbeWaiter
{
public:
    ProbeWaiter();

    // A completion that files the outcome under key and wakes the waiter.
    ProbeCompletion deliverTo(qint64 key) const;
    // Waits for the outcome under key, then takes it and those under the keys after it that have
    // come too, in order; empty when a stop or the deadline came first.
    QList<ProbeResult> takeFrom(qint64 key, QDeadlineTimer deadline = QDeadlineTimer(QDeadlineTimer::Forever));

    // Sends one probe and waits for its outcome; none when a stop came first. The outcome always
    // comes (time-outs and name look-ups are bounded); should a network layer break that promise,
    // the probe counts as a time-out once its bound has passed.
    std::optional<ProbeResult> probe(const AsyncProbe& probe, const QString& host, int timeoutMs);

    // Sleeps, waking early on a stop; false once stopped.
    bool sleep(int milliseconds);
    void stop();
    bool stopped() const;

private:
    struct State
    {
        QMutex mutex;
        QWaitCondition changed;
        QHash<qint64, ProbeResult> arrived;
        bool stopped = false;
    };

    std::shared_ptr<State> m_state;
    // Keys of probe(); a waiter serves either probe() or deliverTo(), never both.
    qint64 m_nextKey = 0;
};

} // namespace Tarnwick
