#pragma once

#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include "PingHost.h"

#include <atomic>

namespace Tarnwick {

// The monitor: probes every entry of the store in turn, without end, and hands each result
// to the store. A stop request ends it within one probe; nothing is applied after that.
class PingerThread : public QThread
{
    Q_OBJECT

public:
    explicit PingerThread(ProbeFunction probe = {});

    void requestStop();

protected:
    void run() override;

private:
    // Sleeps, waking early on a stop request; false when a stop was requested.
    bool sleepUnlessStopped(int milliseconds);

    ProbeFunction m_probe;
    std::atomic<bool> m_stopRequested{false};
    QMutex m_sleepMutex;
    QWaitCondition m_wake;
};

// Starts the one monitor thread unless it runs already.
void startPinger(ProbeFunction probe = {});
// Stops the monitor thread and waits until it has ended; nothing when none runs.
void stopPinger();
// The running monitor thread, or none.
PingerThread* currentPinger();

} // namespace Tarnwick
