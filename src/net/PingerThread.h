// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "NetworkProbe.h"
#include "data/ProbeRecord.h"

#include <QMutex>
#include <QSet>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <memory>
#include <optional>

namespace Tarnwick {

class Data;

// The monitor: probes every entry of the store and hands each result to the store, without
// end. By default it probes one entry at a time with the gap before each; with
// Settings::probePeriod set, it probes every entry once per period, many at a time. A stop
// request ends it at once; nothing reaches the store after that.
class PingerThread : public QThread
{
    Q_OBJECT

public:
    // Where every result goes besides the store (history, statistics, metrics), from the
    // monitor's and the network's threads while the monitor runs.
    using ResultSink = std::function<void(const ProbeRecord& record)>;

    // probe: a stand-in for the network (tests); none probes over the network.
    explicit PingerThread(ProbeFunction probe = {}, ResultSink sink = {});

    void requestStop();

    // Probes one device at once, outside the monitor's turn, and reports the result as the
    // monitor does ("Ping now"); nothing when the device is being probed already.
    void probeNow(Data& data, const QString& ip);

protected:
    void run() override;

private:
    // Probe results that arrive later, on other threads, pass through here; once the monitor
    // stops, none goes on to the store.
    struct ResultGate
    {
        QMutex mutex;
        bool open = true;
        QSet<QString> outstanding;
        // Set once, before the thread starts.
        ResultSink sink;
    };

    // Sleeps, waking early on a stop request; false when a stop was requested.
    bool sleepUnlessStopped(int milliseconds);
    // Waits while the store's receivers lag behind; false when a stop was requested.
    bool holdBack(const Data& data);
    // One pass over the entries, one probe at a time; ends early when the mode changes.
    void runPass(Data& data);
    // One period: every entry probed once, many at a time; then the rest of the period.
    void runRound(Data& data, qint64 periodMs);
    // Hands a result to the store and to the sink.
    static void report(Data& data, const ResultSink& sink, const QString& ip, const ProbeResult& result);
    // One probe, waited for; none when a stop came first.
    std::optional<ProbeResult> probeAndWait(const QString& host, int timeoutMs);

    // Where the thread sleeps and waits for answers; shared with the answers, which may come
    // after the thread has gone.
    struct Wakeup
    {
        QMutex mutex;
        QWaitCondition condition;
    };

    AsyncProbe m_probe;
    std::atomic<bool> m_stopRequested{false};
    std::shared_ptr<Wakeup> m_wakeup = std::make_shared<Wakeup>();
    std::shared_ptr<ResultGate> m_gate = std::make_shared<ResultGate>();
};

// The text the store keeps for a probe's outcome: the round trip in whole milliseconds, or "X".
QString pingResultText(const ProbeResult& result);

// Starts the one monitor thread unless it runs already.
void startPinger(ProbeFunction probe = {}, PingerThread::ResultSink sink = {});
// Stops the monitor thread and waits until it has ended; nothing when none runs.
void stopPinger();
// The running monitor thread, or none.
PingerThread* currentPinger();

} // namespace Tarnwick
