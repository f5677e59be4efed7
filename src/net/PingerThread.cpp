// SPDX-License-Identifier: GPL-3.0-or-later
#include "PingerThread.h"

#include "data/Data.h"
#include "data/Settings.h"

#include <QDateTime>
#include <QDeadlineTimer>

#include <algorithm>

namespace Tarnwick {

namespace {

PingerThread* s_current = nullptr;

// How many announcements may wait for the GUI thread before the monitor holds back. Without
// a bound, a fast network (gap 0, loopback) would announce results faster than the window
// takes them, and the event loop would stall on ever larger batches.
constexpr int MaxUndeliveredEvents = 200;

// In 64 bits: the seconds of the setting times a thousand leave the range of an int.
qint64 periodMs(const Settings& settings)
{
    return qint64(std::max(0, settings.probePeriod.load())) * 1000;
}

} // namespace

void PingerThread::report(Data& data, const ResultSink& sink, const QString& ip, const ProbeResult& result)
{
    data.setPingResult(ip, result);
    if (sink)
        sink({ip, QDateTime::currentMSecsSinceEpoch(), result});
}

PingerThread::PingerThread(ProbeFunction probe, ResultSink sink)
    : m_probe(NetworkProbe::from(probe))
    , m_standIn(bool(probe))
{
    m_gate->sink = std::move(sink);
}

AsyncProbe PingerThread::probeFor(const DeviceEntry& entry) const
{
    if (m_standIn || entry.check.kind == DeviceCheck::Echo)
        return m_probe;
    return NetworkProbe::checking(entry.check);
}

void PingerThread::requestStop()
{
    {
        QMutexLocker lock(&m_gate->mutex);
        m_gate->open = false;
    }
    m_waiter.stop();
}

bool PingerThread::holdBack(const Data& data)
{
    while (data.undeliveredAnnouncements() > MaxUndeliveredEvents) {
        if (!m_waiter.sleep(1))
            return false;
    }
    return !m_waiter.stopped();
}

void PingerThread::run()
{
    const Settings& settings = Settings::instance();
    while (m_waiter.sleep(1)) {
        Data* data = Data::instance();
        if (!data)
            continue;
        if (const qint64 period = periodMs(settings))
            runRound(*data, period);
        else
            runPass(*data);
    }
}

void PingerThread::runPass(Data& data)
{
    const Settings& settings = Settings::instance();
    const QList<DeviceEntry> snapshot = data.entries();
    for (const DeviceEntry& entry : snapshot) {
        // Negative timings from the settings would stall the monitor; they count as 0.
        if (!m_waiter.sleep(settings.pingTimeGap.load()) || !holdBack(data))
            return;
        if (periodMs(settings) > 0)
            return;
        const std::optional<ProbeResult> result = m_waiter.probe(probeFor(entry), entry.ip,
                                                                 std::max(0, settings.pingTimeout.load()));
        if (!result)
            return;
        report(data, m_gate->sink, entry.ip, *result);
    }
}

void PingerThread::runRound(Data& data, qint64 period)
{
    const Settings& settings = Settings::instance();
    const QDeadlineTimer nextRound(period);
    const QList<DeviceEntry> snapshot = data.entries();
    for (const DeviceEntry& entry : snapshot) {
        if (!holdBack(data))
            return;
        probeNow(data, entry.ip);
    }
    // The rest of the period, cut short when the mode changes.
    while (!nextRound.hasExpired() && periodMs(settings) == period) {
        if (!m_waiter.sleep(int(std::min<qint64>(100, nextRound.remainingTime()))))
            return;
    }
}

void PingerThread::probeNow(Data& data, const QString& ip)
{
    {
        // Never two probes of one device at a time.
        QMutexLocker lock(&m_gate->mutex);
        if (!m_gate->open || m_gate->outstanding.contains(ip))
            return;
        m_gate->outstanding.insert(ip);
    }
    probeFor(data.entry(ip))(ip, std::max(0, Settings::instance().pingTimeout.load()),
                             [gate = m_gate, store = &data, ip](const ProbeResult& result) {
                                 QMutexLocker lock(&gate->mutex);
                                 gate->outstanding.remove(ip);
                                 if (gate->open)
                                     report(*store, gate->sink, ip, result);
                             });
}

void startPinger(ProbeFunction probe, PingerThread::ResultSink sink)
{
    if (s_current)
        return;
    s_current = new PingerThread(std::move(probe), std::move(sink));
    s_current->start(QThread::InheritPriority);
}

void stopPinger()
{
    if (!s_current)
        return;
    s_current->requestStop();
    s_current->wait();
    delete s_current;
    s_current = nullptr;
}

PingerThread* currentPinger()
{
    return s_current;
}

} // namespace Tarnwick
