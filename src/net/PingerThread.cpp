// SPDX-License-Identifier: GPL-3.0-or-later
#include "PingerThread.h"

#include "ProbeEngine.h"
#include "ProbeRate.h"
#include "data/Data.h"
#include "data/DeviceAddress.h"
#include "data/Settings.h"

#include <QDateTime>
#include <QTimer>

#include <algorithm>

namespace Tarnwick {

namespace {

// How many results may wait for the store's thread before the monitor holds back. Without a
// bound, a fast network (gap 0, loopback) would report results faster than the window takes
// them, and the event loop would stall on ever larger batches.
constexpr int MaxWaitingResults = 500;

// Results that come within this time of the first of a batch join it. At a steady pace of
// thousands a second, each wake-up of the engine brings a result or two: the window makes one
// hand-off of a few dozen of them, and a device's state is told no later for it that matters.
constexpr int HandOverWindowMs = 20;
// A batch this full goes at once (fewer than MaxWaitingResults, so the monitor never waits on
// the window).
constexpr qsizetype FullBatch = 256;

// In 64 bits: the seconds of the setting times a thousand leave the range of an int.
qint64 periodMs(const Settings& settings)
{
    return qint64(std::max(0, settings.probePeriod.load())) * 1000;
}

// Negative timings from the settings would stall the monitor; they count as 0. In the period
// mode a probe ends a little before the period does, so that the next probe of the device is
// never held up by the last one.
int timeoutMs(const Settings& settings)
{
    const int timeout = std::max(0, settings.pingTimeout.load());
    const qint64 period = periodMs(settings);
    if (period <= 0)
        return timeout;
    return int(std::min<qint64>(timeout, period - std::min<qint64>(100, period / 10)));
}

// requests: where given, counts the requests a round of them makes, one a check.
QStringList addresses(const Data& data, qint64* requests = nullptr)
{
    // Only the addresses are kept: a copy of the entries held through the round would make
    // the store copy its whole list at the next result.
    QStringList ips;
    const QList<DeviceEntry> entries = data.entries();
    ips.reserve(entries.size());
    for (const DeviceEntry& entry : entries) {
        if (entry.hasAddress()) {
            ips.append(entry.ip);
            if (requests)
                *requests += 1 + entry.moreChecks.size();
        }
    }
    return ips;
}

} // namespace

void PingerThread::report(const std::shared_ptr<ResultGate>& gate, Data& data, ProbeRecord record)
{
    ++gate->waiting;
    record.atMs = QDateTime::currentMSecsSinceEpoch();
    gate->batch.append(std::move(record));
    if (gate->batch.size() == 1) {
        gate->batchFor = &data;
        gate->firstAt.start();
    } else if (gate->batch.size() != FullBatch) {
        return;
    }
    // The store carries the hand-off: a store that goes first takes the batch with it.
    const bool full = gate->batch.size() == FullBatch;
    QMetaObject::invokeMethod(
        &data, [gate, full] { handOver(gate, full); }, Qt::QueuedConnection);
}

void PingerThread::handOver(const std::shared_ptr<ResultGate>& gate, bool now)
{
    QList<ProbeRecord> batch;
    Data* data = nullptr;
    {
        QMutexLocker lock(&gate->mutex);
        if (gate->batch.isEmpty())
            return;
        data = gate->batchFor;
        const qint64 left = HandOverWindowMs - gate->firstAt.elapsed();
        if (!now && left > 0) {
            lock.unlock();
            QTimer::singleShot(int(left), data, [gate] { handOver(gate, true); });
            return;
        }
        batch.swap(gate->batch);
        gate->batchFor = nullptr;
    }
    // Results of devices removed, or asked another way, meanwhile go no further.
    const QList<ProbeRecord> taken = data->setPingResults(batch);
    if (gate->sink && !taken.isEmpty())
        gate->sink(taken);
    gate->waiting -= int(batch.size());
}

void PingerThread::handOverWaiting()
{
    Data* data = nullptr;
    {
        QMutexLocker lock(&m_gate->mutex);
        data = m_gate->batchFor;
    }
    if (data && data->thread() == QThread::currentThread())
        handOver(m_gate, true);
}

PingerThread::PingerThread(Data& data, const Settings& settings, AsyncProbe probe, ResultSink sink, ProbeEngine* engine)
    : m_data(data)
    , m_settings(settings)
    , m_probe(std::move(probe))
    , m_engine(engine)
{
    m_gate->sink = std::move(sink);
}

PingerThread::~PingerThread()
{
    stop();
}

void PingerThread::stop()
{
    requestStop();
    wait();
    handOverWaiting();
}

PingerThread::Asking PingerThread::askingOf(const QString& ip) const
{
    return m_data.readEntry(ip, [](const DeviceEntry* entry) {
        return entry ? Asking{entry->ip, entry->check, entry->moreChecks, entry->echo} : Asking{};
    });
}

AsyncProbe PingerThread::probeFor(const Asking& device, const DeviceCheck& check) const
{
    // A device that cannot be asked as the list says fails each probe with the reason, so that
    // its state and details say why, rather than another probe going out in its place.
    const QString refused = check.kind == DeviceCheck::Unreadable ? check.text() : DeviceAddress::problem(device.ip);
    if (!refused.isEmpty())
        return NetworkProbe::refusing(refused);
    // An echo of the usual make goes the monitor's way (m_probe); one of its own make through
    // the engine, which takes the make with each request.
    if (!m_engine || (check.kind == DeviceCheck::Echo && device.echo.isDefault()))
        return m_probe;
    return NetworkProbe::checking(*m_engine, check, device.echo);
}

void PingerThread::askEveryCheck(const Asking& device, int timeoutMs, RoundDone done) const
{
    const AsyncProbe first = probeFor(device, device.check);
    if (device.moreChecks.isEmpty()) {
        first(device.ip, timeoutMs, [done = std::move(done)](const ProbeResult& result) { done(result, {}); });
        return;
    }
    // The answers come on the engine's thread, or at once for a check that asks nothing.
    struct Answers
    {
        QMutex mutex;
        ProbeResult first;
        QList<ProbeResult> more;
        qsizetype left = 0;
        RoundDone done;
    };
    auto answers = std::make_shared<Answers>();
    answers->more.resize(device.moreChecks.size());
    answers->left = device.moreChecks.size() + 1;
    answers->done = std::move(done);
    const auto answer = [answers](qsizetype i) {
        return [answers, i](const ProbeResult& result) {
            QMutexLocker lock(&answers->mutex);
            (i < 0 ? answers->first : answers->more[i]) = result;
            if (--answers->left > 0)
                return;
            lock.unlock();
            answers->done(answers->first, answers->more);
        };
    };
    QList<AsyncProbe> probes;
    for (const DeviceCheck& check : device.moreChecks)
        probes.append(probeFor(device, check));
    first(device.ip, timeoutMs, answer(-1));
    for (qsizetype i = 0; i < probes.size(); ++i)
        probes.at(i)(device.ip, timeoutMs, answer(i));
}

void PingerThread::requestStop()
{
    {
        QMutexLocker lock(&m_gate->mutex);
        m_gate->open = false;
    }
    m_waiter.stop();
}

bool PingerThread::holdBack()
{
    while (m_gate->waiting > MaxWaitingResults) {
        if (!m_waiter.sleep(1))
            return false;
    }
    return !m_waiter.stopped();
}

void PingerThread::run()
{
    // A list without an address to probe is looked at again ten times a second rather than a
    // thousand.
    for (int pause = 1; m_waiter.sleep(pause); pause = addresses(m_data).isEmpty() ? 100 : 1) {
        if (const qint64 period = periodMs(m_settings))
            runPeriods(period);
        else
            runPass();
    }
}

void PingerThread::runPass()
{
    const QStringList ips = addresses(m_data);
    QSet<QString> late;
    for (const QString& ip : ips) {
        // Each device as it is now: one removed meanwhile is not asked, a changed one its new way.
        if (!m_data.contains(ip))
            continue;
        if (!m_waiter.sleep(m_settings.pingTimeGap.load()) || !holdBack())
            return;
        submitLate(late);
        if (periodMs(m_settings) > 0)
            return;
        const Asking device = askingOf(ip);
        if (device.ip != ip)
            continue;
        // The further checks' results, taken under their mutex: a round that outlasts the
        // waiter's bound counts them unanswered.
        struct More
        {
            QMutex mutex;
            QList<ProbeResult> results;
        };
        const auto more = std::make_shared<More>();
        const AsyncProbe everyCheck = [this, &device, more](const QString&, int timeout, ProbeCompletion done) {
            askEveryCheck(device, timeout,
                          [more, done = std::move(done)](const ProbeResult& first, const QList<ProbeResult>& others) {
                              {
                                  QMutexLocker lock(&more->mutex);
                                  more->results = others;
                              }
                              done(first);
                          });
        };
        const std::optional<ProbeResult> result = m_waiter.probe(everyCheck, ip, timeoutMs(m_settings));
        if (!result)
            return;
        QList<ProbeResult> moreResults;
        {
            QMutexLocker lock(&more->mutex);
            moreResults = more->results;
        }
        QMutexLocker lock(&m_gate->mutex);
        report(m_gate, m_data, {ip, 0, *result, device.check, device.moreChecks, moreResults});
    }
}

void PingerThread::runPeriods(qint64 period)
{
    QElapsedTimer clock;
    clock.start();
    QSet<QString> late;
    qint64 roundStart = 0;
    while (periodMs(m_settings) == period) {
        // Entries added or removed meanwhile count from the next round on.
        qint64 requests = 0;
        const QStringList ips = addresses(m_data, &requests);
        // Where the list outgrows the engine's ceiling, the round stretches to what it can send.
        const qint64 ceiling = ProbeRate::ceilingOf(m_settings);
        const qint64 length = ProbeRate::effectivePeriodMs(requests, period, ceiling);
        // At the engine's pace, as fping -l sends, handed over a little ahead of it: the
        // engine's queue then holds what leaves within QueueAheadMs, so that "Ping now" or a
        // scan waits behind that much of the list, not a whole round of it. One whose last probe
        // is still out goes as soon as that ends rather than a round later.
        // A device of several checks hands the engine a request for each at once, and the
        // devices are spread so that the requests keep the engine's pace.
        const qint64 intervalNs = ProbeRate::intervalNs(requests, period, ceiling);
        const qint64 deviceIntervalNs = ips.isEmpty() ? intervalNs : intervalNs * requests / ips.size();
        for (qsizetype i = 0; i < ips.size(); ++i) {
            if (!holdBack() || !keepUpWithTheEngine(intervalNs))
                return;
            submitLate(late);
            const qint64 dueMs = roundStart + i * deviceIntervalNs / 1000000;
            if (dueMs - clock.elapsed() > QueueAheadMs) {
                if (!m_waiter.sleep(int(dueMs - clock.elapsed() - QueueAheadMs / 2)) || periodMs(m_settings) != period)
                    return;
            }
            if (!submit(ips[i]))
                late.insert(ips[i]);
        }
        if (!sleepUntil(clock, roundStart + length, late, period))
            return;
        // The next round is due from when this one was due, so rounds do not drift; after a
        // hold-up longer than a round the schedule starts afresh rather than rushing.
        roundStart += length;
        if (clock.elapsed() - roundStart > length)
            roundStart = clock.elapsed();
    }
}

bool PingerThread::sleepUntil(const QElapsedTimer& clock, qint64 untilMs, QSet<QString>& late, qint64 period)
{
    for (;;) {
        if (!holdBack() || periodMs(m_settings) != period)
            return false;
        submitLate(late);
        const qint64 left = untilMs - clock.elapsed();
        if (left <= 0)
            return true;
        // Late probes are tried again soon; otherwise the mode is looked at now and then.
        if (!m_waiter.sleep(int(std::min<qint64>(left, late.isEmpty() ? 100 : 10))))
            return false;
    }
}

bool PingerThread::keepUpWithTheEngine(qint64 intervalNs)
{
    // At its ceiling the engine sends a little slower than the pace asked of it, and the
    // difference would pile up in its queue until a whole round waited there, ahead of "Ping
    // now" and of scans, with each device's next probe refused while its last one still waits.
    if (!m_engine)
        return true;
    const auto most = std::size_t(std::max<qint64>(1, QueueAheadMs * 1000000 / std::max<qint64>(intervalNs, 1)));
    while (m_engine->requestsQueued() > most) {
        if (!m_waiter.sleep(int(QueueAheadMs / 10)))
            return false;
    }
    return true;
}

void PingerThread::submitLate(QSet<QString>& late)
{
    {
        QMutexLocker lock(&m_gate->mutex);
        if (!m_gate->askedAgain.isEmpty())
            late.unite(std::exchange(m_gate->askedAgain, {}));
    }
    for (auto it = late.begin(); it != late.end();)
        it = submit(*it) ? late.erase(it) : std::next(it);
}

void PingerThread::probeNow(const QString& ip)
{
    if (submit(ip))
        return;
    QMutexLocker lock(&m_gate->mutex);
    if (m_gate->open)
        m_gate->askedAgain.insert(ip);
}

bool PingerThread::submit(const QString& ip)
{
    {
        // Never two probes of one device at a time.
        QMutexLocker lock(&m_gate->mutex);
        if (!m_gate->open || m_gate->outstanding.contains(ip))
            return false;
        m_gate->outstanding.insert(ip);
    }
    const Asking device = askingOf(ip);
    askEveryCheck(device, timeoutMs(m_settings),
                  [gate = m_gate, store = &m_data, ip, check = device.check,
                   moreChecks = device.moreChecks](const ProbeResult& result, const QList<ProbeResult>& more) {
                      QMutexLocker lock(&gate->mutex);
                      gate->outstanding.remove(ip);
                      if (gate->open)
                          report(gate, *store, {ip, 0, result, check, moreChecks, more});
                  });
    return true;
}

} // namespace Tarnwick
