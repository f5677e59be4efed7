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

#include <atomic>
#include <memory>

namespace Tarnwick {

class Data;
class ProbeEngine;
class Settings;

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
    // In the period mode, how far ahead of the engine's pace the monitor hands it requests.
    static constexpr qint64 QueueAheadMs = 50;

    // Where the results go besides the store (history, statistics, metrics), a batch at a time,
    // on the store's thread, right after the store has taken them.
    using ResultSink = std::function<void(const QList<ProbeRecord>& results)>;

    // data: the store whose entries are probed and which takes the results; settings: the
    // pace, gap and time-out. Both must outlive the thread.
    // probe: how a device is probed (NetworkProbe::overNetwork, or a stand-in in tests).
    // engine: the engine behind probe, which also probes devices whose check is a TCP port or
    // ARP, or an echo of a size or fragmenting of its own (DeviceEntry::echo), and whose queue
    // the period mode keeps short; none probes every device with probe.
    PingerThread(Data& data, const Settings& settings, AsyncProbe probe, ResultSink sink = {},
                 ProbeEngine* engine = nullptr);
    // Stops the thread first where it still runs.
    ~PingerThread() override;

    void requestStop();
    // Stops the thread and waits until it has ended, then hands what it reported to the store;
    // nothing reaches the store after this returns. Called on the store's thread.
    void stop();

    // Probes one device at once, outside the monitor's turn, and reports the result as the
    // monitor does ("Ping now"). A device being probed already is probed again as soon as that
    // probe ends (in the period mode), so that the result shown is one asked for now.
    void probeNow(const QString& ip);

    // Results reported that the store has not taken yet.
    int resultsWaiting() const { return m_gate->waiting; }
    // Hands the results waiting for the store to it and the sink now, on the store's thread;
    // after a stop, nothing more reaches the store.
    void handOverWaiting();

protected:
    void run() override;

private:
    // Probe results that arrive later, on other threads, pass through here; once the monitor
    // stops, none goes on to the store. They go to the store's thread in batches: the first
    // result of a batch posts its hand-off, and those that come before the store's thread takes
    // it, within a short window, join it: many wake-ups of the engine make one hand-off.
    struct ResultGate
    {
        QMutex mutex;
        bool open = true;
        QSet<QString> outstanding;
        // "Ping now" on a device whose probe was out: it goes once that one ends.
        QSet<QString> askedAgain;
        QList<ProbeRecord> batch;
        Data* batchFor = nullptr;
        QElapsedTimer firstAt;
        // Reported and not taken by the store yet (the batch, and one being taken).
        std::atomic<int> waiting{0};
        // Set once, before the thread starts.
        ResultSink sink;
    };

    // Waits while the store's thread lags behind; false when a stop was requested.
    bool holdBack();
    // One pass over the entries, one probe at a time; ends early when the mode changes.
    void runPass();
    // Round after round, every entry once a round, many in flight at once; ends when the mode
    // or the period changes.
    void runPeriods(qint64 periodMs);
    // Sleeps until the clock reaches the time, sending meanwhile the probes that were due while
    // their device's previous probe was still out; false when the monitor should leave the mode.
    bool sleepUntil(const QElapsedTimer& clock, qint64 untilMs, QSet<QString>& late, qint64 periodMs);
    // Sends a probe of the device unless one is out already; false then.
    bool submit(const QString& ip);
    // Sends the probes that waited for their device's last one to end, "Ping now" among them;
    // those still waiting stay in late.
    void submitLate(QSet<QString>& late);
    // Waits while the engine holds more than QueueAheadMs of requests at the interval; false
    // when a stop was requested.
    bool keepUpWithTheEngine(qint64 intervalNs);
    // Adds a result to the batch for the store, posting the batch when it is the first; the
    // gate's mutex is held.
    static void report(const std::shared_ptr<ResultGate>& gate, Data& data, ProbeRecord record);
    // On the store's thread: the batch to the store, then to the sink; unless now, not before
    // the batch's window has passed.
    static void handOver(const std::shared_ptr<ResultGate>& gate, bool now);

    // What asking a device takes of its entry. Each probe copies this rather than the whole
    // entry: at thousands of probes a second, each of the entry's texts copied costs a read of
    // memory that has long left the cache.
    struct Asking
    {
        QString ip;
        DeviceCheck check;
        QList<DeviceCheck> moreChecks;
        EchoOptions echo;
    };
    // The device's as the store holds it now; one no longer listed has no address.
    Asking askingOf(const QString& ip) const;
    // How the device is asked with one of its checks: by probe, or through the engine as the
    // check asks.
    AsyncProbe probeFor(const Asking& device, const DeviceCheck& check) const;
    // Asks every check of the entry at once; done gets the first check's result and the
    // others' (in the order of DeviceEntry::moreChecks) once the last of them has come.
    using RoundDone = std::function<void(const ProbeResult& first, const QList<ProbeResult>& more)>;
    void askEveryCheck(const Asking& device, int timeoutMs, RoundDone done) const;

    Data& m_data;
    const Settings& m_settings;
    AsyncProbe m_probe;
    ProbeEngine* m_engine = nullptr;
    // Where the thread sleeps and waits for answers.
    ProbeWaiter m_waiter;
    std::shared_ptr<ResultGate> m_gate = std::make_shared<ResultGate>();
};

} // namespace Tarnwick
