// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "NetworkProbe.h"
#include "ProbeWaiter.h"
#include "data/DeviceEntry.h"
#include "data/ProbeRecord.h"

#include <QMutex>
#include <QSet>
#include <QThread>

#include <memory>

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

    // Waits while the store's receivers lag behind; false when a stop was requested.
    bool holdBack(const Data& data);
    // One pass over the entries, one probe at a time; ends early when the mode changes.
    void runPass(Data& data);
    // One period: every entry probed once, many at a time; then the rest of the period.
    void runRound(Data& data, qint64 periodMs);
    // Hands a result to the store and to the sink.
    static void report(Data& data, const ResultSink& sink, const QString& ip, const ProbeResult& result);

    // How the entry is probed: the stand-in for all, or over the network as its check asks.
    AsyncProbe probeFor(const DeviceEntry& entry) const;

    AsyncProbe m_probe;
    bool m_standIn = false;
    // Where the thread sleeps and waits for answers.
    ProbeWaiter m_waiter;
    std::shared_ptr<ResultGate> m_gate = std::make_shared<ResultGate>();
};

// Starts the one monitor thread unless it runs already.
void startPinger(ProbeFunction probe = {}, PingerThread::ResultSink sink = {});
// Stops the monitor thread and waits until it has ended; nothing when none runs.
void stopPinger();
// The running monitor thread, or none.
PingerThread* currentPinger();

} // namespace Tarnwick
