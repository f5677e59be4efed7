// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "NetworkProbe.h"
#include "ProbeWaiter.h"
#include "data/DeviceEntry.h"
#include "data/ProbeRecord.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QSet>
#include <QThread>

#include <memory>

namespace Tarnwick {

class Data;
class ProbeEngine;

// The monitor: probes every entry of the store and hands each result to the store, without
// end. By default it probes one entry at a time with the gap before each; with
// Settings::probePeriod set, it probes every entry once per period, many at a time, with the
// time-out kept shorter than the period so that a silent device's probe is over before the
// next one is due. A stop request ends it at
// once; nothing reaches the store after that.
class PingerThread : public QThread
{
    Q_OBJECT

public:
    // Where every result goes besides the store (history, statistics, metrics), from the
    // monitor's and the network's threads while the monitor runs.
    using ResultSink = std::function<void(const ProbeRecord& record)>;

    // probe: how a device is probed (NetworkProbe::overNetwork, or a stand-in in tests).
    // checksThrough: the engine that probes devices whose check is a TCP port or ARP; none
    // probes every device with probe.
    explicit PingerThread(AsyncProbe probe, ResultSink sink = {}, ProbeEngine* checksThrough = nullptr);

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

    // Waits while the store's receivers lag behind; false when a stop was requested.
    bool holdBack(const Data& data);
    // One pass over the entries, one probe at a time; ends early when the mode changes.
    void runPass(Data& data);
    // Round after round, every entry once a round, many in flight at once; ends when the mode
    // or the period changes.
    void runPeriods(Data& data, qint64 periodMs);
    // Sleeps until the clock reaches the time, sending meanwhile the probes that were due while
    // their device's previous probe was still out; false when the monitor should leave the mode.
    bool sleepUntil(Data& data, const QElapsedTimer& clock, qint64 untilMs, QSet<QString>& late, qint64 periodMs);
    // Sends a probe of the device unless one is out already; false then.
    bool submit(Data& data, const QString& ip);
    // Hands a result to the store and to the sink.
    static void report(Data& data, const ResultSink& sink, const QString& ip, const ProbeResult& result);

    // How the entry is probed: by probe, or through the engine as its check asks.
    AsyncProbe probeFor(const DeviceEntry& entry) const;

    AsyncProbe m_probe;
    ProbeEngine* m_checksThrough = nullptr;
    // Where the thread sleeps and waits for answers.
    ProbeWaiter m_waiter;
    std::shared_ptr<ResultGate> m_gate = std::make_shared<ResultGate>();
};

// Starts the one monitor thread unless it runs already.
void startPinger(AsyncProbe probe, PingerThread::ResultSink sink = {}, ProbeEngine* checksThrough = nullptr);
// Stops the monitor thread and waits until it has ended; nothing when none runs.
void stopPinger();
// The running monitor thread, or none.
PingerThread* currentPinger();

} // namespace Tarnwick
