// SPDX-License-Identifier: GPL-3.0-or-later
#include "PathWatch.h"

#include "Announcer.h"
#include "MetricsPublisher.h"
#include "data/Data.h"
#include "data/DeviceAddedEvent.h"
#include "data/DeviceEntryChangedEvent.h"
#include "data/DevicePaths.h"
#include "data/DeviceRemovedEvent.h"
#include "data/PhraseBook.h"
#include "data/Settings.h"
#include "history/HistoryStore.h"
#include "net/NameResolver.h"
#include "net/PathTrace.h"
#include "net/ProbeEngine.h"

#include <QDateTime>

#include <algorithm>

namespace Tarnwick {

namespace {

// The bound of a look-up of a device's name before its trace.
constexpr int ResolveWaitMs = 2000;

} // namespace

PathWatch::PathWatch(Data& data, const Settings& settings, ProbeEngine& engine, DevicePaths& paths,
                     Announcer& announcer, QObject* parent)
    : QObject(parent)
    , m_data(data)
    , m_settings(settings)
    , m_engine(engine)
    , m_paths(paths)
    , m_announcer(announcer)
{
    m_nextRound.setSingleShot(true);
    connect(&m_nextRound, &QTimer::timeout, this, &PathWatch::startRound);
    m_gap.setSingleShot(true);
    m_gap.setInterval(TraceGapMs);
    connect(&m_gap, &QTimer::timeout, this, &PathWatch::traceWhatMay);
    data.connectReceiver(this);
    m_settings.onChange(&Settings::pathWatchPeriod, this, [this] { followSettings(); });
}

PathWatch::~PathWatch()
{
    m_mailbox.close();
}

void PathWatch::start()
{
    m_started = true;
    followSettings();
}

void PathWatch::stop()
{
    m_started = false;
    m_nextRound.stop();
    m_gap.stop();
    m_round.clear();
    m_urgent.clear();
    m_running.clear();
}

void PathWatch::followSettings()
{
    if (!m_started)
        return;
    const int period = m_settings.pathWatchPeriod.load();
    const bool wasOn = m_period > 0;
    m_period = period <= 0 ? 0 : std::max(period, Settings::MinPathWatchPeriod);
    if (m_period == 0) {
        m_nextRound.stop();
        m_round.clear();
        m_urgent.clear();
        return;
    }
    // Turned on, or on at start: a round now; a new period counts from the round under way.
    if (!wasOn)
        startRound();
    else
        m_nextRound.setInterval(m_period * 1000);
}

void PathWatch::startRound()
{
    // A round that outlasts its period (more devices than seconds, or silent ones) goes on
    // rather than start again from the top, so that every device has its turn.
    if (!m_round.isEmpty()) {
        m_nextRound.start(m_period * 1000);
        traceWhatMay();
        return;
    }
    for (const DeviceEntry& entry : m_data.entries()) {
        const NameResolver::Address numeric = NameResolver::numeric(entry.ip);
        if (entry.hasAddress() && !(numeric && numeric->isLoopback()))
            m_round << entry.ip;
    }
    m_nextRound.start(m_period * 1000);
    traceWhatMay();
}

void PathWatch::traceWhatMay()
{
    if (!m_started || m_period == 0)
        return;
    while (!m_urgent.isEmpty() && int(m_running.size() + m_resolving.size()) < TracesAtOnce)
        trace(m_urgent.takeFirst());
    // The round's traces leave one at a time, a gap apart.
    if (m_gap.isActive() || m_round.isEmpty() || int(m_running.size() + m_resolving.size()) >= TracesAtOnce)
        return;
    trace(m_round.takeFirst());
    m_gap.start();
}

void PathWatch::trace(const QString& ip)
{
    if (m_running.count(ip) || m_resolving.contains(ip) || !m_data.contains(ip))
        return;
    if (const NameResolver::Address address = NameResolver::numeric(ip)) {
        traceTo(ip, *address);
        return;
    }
    m_resolving.insert(ip);
    m_engine.resolver().resolve(ip, ResolveWaitMs, [mailbox = m_mailbox, ip](const NameResolver::Outcome& outcome) {
        mailbox.post([ip, address = outcome.address](PathWatch& watch) {
            watch.m_resolving.remove(ip);
            if (address && watch.m_started)
                watch.traceTo(ip, *address);
            else
                watch.traceWhatMay();
        });
    });
}

void PathWatch::traceTo(const QString& ip, const IpAddress& address)
{
    // This machine itself is no way anywhere.
    if (address.isLoopback())
        return;
    PathTrace::Options options;
    // One request a hop: the watch asks every router on the way again and again, and a hop that
    // holds its answer back keeps the router it had.
    options.probesPerHop = 1;
    options.timeoutMs = std::max(m_settings.pingTimeout.load(), 100);
    // A device checked by TCP may answer no echo: its own port leads the way there.
    const DeviceEntry entry = m_data.entry(ip);
    if (entry.check.kind == DeviceCheck::TcpPort)
        options.tcpPort = entry.check.port;
    auto trace = std::make_unique<PathTrace>(m_engine, address, options);
    PathTrace* running = trace.get();
    connect(running, &PathTrace::finished, this, [this, ip, running] {
        traced(ip, running->hops());
        // Not from within the trace's own signal.
        QMetaObject::invokeMethod(
            this, [this, ip] { finishedWith(ip); }, Qt::QueuedConnection);
    });
    m_running[ip] = std::move(trace);
    running->start();
}

void PathWatch::finishedWith(const QString& ip)
{
    m_running.erase(ip);
    traceWhatMay();
}

void PathWatch::traced(const QString& ip, const TraceHops& hops)
{
    if (hops.end() != TraceHops::End::Reached || !m_data.contains(ip))
        return;
    QStringList found = hops.routers();
    // A trace that heard no router on a way of several tells nothing of it (every router held
    // its answer back at once, as a loaded host's ICMP budget makes them).
    if (!found.isEmpty() && std::all_of(found.cbegin(), found.cend(), [](const QString& hop) { return hop.isEmpty(); }))
        return;
    const DevicePath* known = m_paths.path(ip);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (known)
        found = known->filledIn(found);
    if (known && known->sameWayAs(found)) {
        m_candidates.remove(ip);
        if (found != known->routers) {
            // The same way, with a router heard where it was not before.
            DevicePath path{found, known->sinceMs};
            m_paths.setPath(ip, path);
            if (m_store)
                m_store->recordPath(ip, path);
        }
        return;
    }
    // Another way counts once a second trace, a moment later, finds it too: a way seen once may
    // be a route still settling, or answers lost on the way.
    if (known) {
        const auto candidate = m_candidates.constFind(ip);
        if (candidate == m_candidates.cend() || !DevicePath{*candidate, 0}.sameWayAs(found)) {
            m_candidates.insert(ip, found);
            QTimer::singleShot(ConfirmAfterMs, this, [this, ip] {
                if (!m_started || !m_urgent.add(ip))
                    return;
                traceWhatMay();
            });
            return;
        }
    }
    m_candidates.remove(ip);
    const DevicePath path{found, now};
    if (m_store)
        m_store->recordPath(ip, path);
    if (m_metrics)
        m_metrics->pathFound(ip, int(found.size()), known != nullptr);
    // Taken before the known way is replaced; a first way is no change.
    const QString before = known ? DevicePath::viaText(known->routers) : QString();
    m_paths.setPath(ip, path);
    if (before.isEmpty())
        return;
    const DeviceEntry entry = m_data.entry(ip);
    m_announcer.pathChanged(
        ip, entry.description,
        PhraseBook::english(PhraseBook::PathChanged,
                            {DeviceEntry::named(ip, entry.description), DevicePath::viaText(found), before}),
        m_settings.announcePathChanges);
}

void PathWatch::DeviceEntryChanged(DeviceEntryChangedEvent* pEvent)
{
    const DeviceEntry& after = pEvent->newEntry();
    const DeviceEntry& before = pEvent->oldEntry();
    if (after.ip != before.ip) {
        m_paths.forget(before.ip);
        m_candidates.remove(before.ip);
        m_running.erase(before.ip);
        m_urgent.remove(before.ip);
        m_round.removeAll(before.ip);
    }
    if (!pEvent->changesState() || !m_started || m_period == 0 || !m_urgent.add(after.ip))
        return;
    traceWhatMay();
}

void PathWatch::DeviceAdded(DeviceAddedEvent* pEvent)
{
    if (!m_started || m_period == 0 || !pEvent->entry().hasAddress())
        return;
    m_round << pEvent->entry().ip;
    traceWhatMay();
}

void PathWatch::DeviceRemoved(DeviceRemovedEvent* pEvent)
{
    const QString& ip = pEvent->entry().ip;
    m_paths.forget(ip);
    m_candidates.remove(ip);
    m_running.erase(ip);
    m_urgent.remove(ip);
    m_round.removeAll(ip);
}

} // namespace Tarnwick
