// SPDX-License-Identifier: GPL-3.0-or-later
#include "MonitorCore.h"

#include "Announcer.h"
#include "HistoryRecorder.h"
#include "MetricsPublisher.h"
#include "NetworkWatch.h"
#include "PathWatch.h"
#include "ReachabilityWatcher.h"
#include "SlowWatch.h"
#include "data/Data.h"
#include "data/DeviceEntryChangedEvent.h"
#include "data/DevicePaths.h"
#include "data/FileReload.h"
#include "data/MaintenanceList.h"
#include "data/MuteList.h"
#include "data/Settings.h"
#include "data/VisualRepresentationData.h"
#include "history/HistoryReader.h"
#include "metrics/MetricsAddress.h"
#include "net/NameResolver.h"
#include "net/NetworkProbe.h"
#include "net/NetworkSweep.h"
#include "net/PingerThread.h"
#include "net/ProbeEngine.h"
#include "net/ProbeRate.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTimer>

namespace Tarnwick {

namespace {

// The state each device of the list was last known in, where the history holds one.
QHash<QString, bool> lastKnownStates(const QString& historyFile, const Data& data, const std::function<bool()>& stop)
{
    // One read for the whole list: a query per device costs seconds at 100,000 devices.
    const QHash<QString, HistoryReader::StateChange> changes
        = HistoryReader(historyFile).lastStateChanges(QDateTime::currentMSecsSinceEpoch(), stop);
    QHash<QString, bool> states;
    if (changes.isEmpty())
        return states;
    for (const DeviceEntry& entry : data.entries()) {
        if (const auto last = changes.constFind(entry.ip); last != changes.cend())
            states.insert(entry.ip, last->connected);
    }
    return states;
}

} // namespace

MonitorCore::MonitorCore(Settings& settings, ProbeEngine& engine, Options options)
    : m_settings(settings)
    , m_engine(engine)
    , m_options(std::move(options))
    , m_data(std::make_unique<Data>())
    , m_map(std::make_unique<VisualRepresentationData>())
    , m_paths(std::make_unique<DevicePaths>())
    , m_mutes(std::make_unique<MuteList>())
    , m_maintenance(std::make_unique<MaintenanceList>())
{
    m_data->setSettings(&m_settings);
    m_inventory.setListed([this](const QString& address) { return m_data->contains(address); });
    if (!m_options.report)
        m_options.report = [](const QString&) {};
    m_data->load(m_options.deviceListFile, m_options.report, m_options.stopLoading);
    // Until each device answers or not, it shows as not yet probed, and its first result
    // announces nothing.
    m_data->awaitFirstResults();
    m_map->load(m_options.mapFile, m_options.report);
    // The ways learnt before, so that devices group behind the routers on their way at once.
    m_paths->setAll(HistoryReader(m_options.historyFile).paths());
    m_reachability = std::make_unique<ReachabilityWatcher>(*m_data, *m_map, m_settings, m_paths.get());
    m_announcer = std::make_unique<Announcer>(*m_data, m_settings, *m_reachability, m_options.grouping);
    // Read before this run records anything: a first result that differs was missed meanwhile.
    m_announcer->setStatesBeforeStart(lastKnownStates(m_options.historyFile, *m_data, m_options.stopLoading));
    m_announcer->setSlowBeforeStart(HistoryReader(m_options.historyFile)
                                        .slowDevicesBefore(QDateTime::currentMSecsSinceEpoch(), m_options.stopLoading));
    m_mutes->load(m_options.mutesFile, m_options.report);
    m_announcer->setMutes(m_mutes.get());
    m_maintenance->load(m_options.maintenanceFile, m_options.report);
    m_announcer->setMaintenance(m_maintenance.get());
    m_slow = std::make_unique<SlowWatch>(*m_data, m_settings);
    QObject::connect(m_slow.get(), &SlowWatch::slowChanged, m_announcer.get(), &Announcer::slowChanged);
    QObject::connect(m_slow.get(), &SlowWatch::judgedNotSlow, m_announcer.get(), &Announcer::judgedNotSlow);
    QObject::connect(m_slow.get(), &SlowView::slownessChanged, m_announcer.get(), [this](const QString& ip) {
        if (!m_slow->isSlow(ip))
            m_announcer->forgetSlow(ip);
    });
    m_history = std::make_unique<HistoryRecorder>(m_options.historyFile, m_settings, *m_data, m_options.report,
                                                  m_options.stopLoading);
    QObject::connect(m_slow.get(), &SlowWatch::slowChanged, m_history.get(), &HistoryRecorder::slowChanged);
    // A judgement dropped rather than recovered from closes the slow period too; after a recovery
    // none is open any more, and nothing is kept.
    QObject::connect(m_slow.get(), &SlowView::slownessChanged, m_history.get(), [this](const QString& ip) {
        if (!m_slow->isSlow(ip))
            m_history->slowDropped(ip);
    });
    serveMetrics(m_options.metricsAddress);
    watchTheNetwork();
    watchThePaths();
    m_settings.onChange(&Settings::probePeriod, m_data.get(), [this] { paceEngineSoon(); });
    m_settings.onChange(&Settings::mostProbesPerSecond, m_data.get(), [this] { paceEngineSoon(); });
    m_data->connectReceiver(m_data.get(),
                            {.changed =
                                 [this](DeviceEntryChangedEvent* event) {
                                     if (event->newEntry().moreChecks.size() != event->oldEntry().moreChecks.size())
                                         paceEngineSoon();
                                     if (event->changesState() && event->newEntry().state == DeviceStateDisconnected)
                                         askTheWay(event->newEntry().ip);
                                 },
                             .added = [this](DeviceAddedEvent*) { paceEngineSoon(); },
                             .removed = [this](DeviceRemovedEvent*) { paceEngineSoon(); }});
    paceEngine();
    m_fileWatch = std::make_unique<FileChangeWatch>();
    for (FileChangeWatch::File& file : files())
        m_fileWatch->watch(std::move(file));
}

MonitorCore::~MonitorCore()
{
    // Left without end() (a start-up that failed): the monitor must not outlive the sinks.
    pause();
}

void MonitorCore::watchTheNetwork()
{
    const HistoryReader kept(m_options.historyFile);
    m_inventory.load(kept.inventory());
    m_sweep = std::make_unique<NetworkSweep>(m_engine, m_options.neighbours);
    m_networkWatch = std::make_unique<NetworkWatch>(m_settings, m_inventory, *m_sweep, *m_announcer, m_options.report);
    m_networkWatch->keepIn(&m_history->store(), kept.watchedNetworks());
    m_networkWatch->setMetrics(m_metrics.get());
}

void MonitorCore::watchThePaths()
{
    if (m_options.probe)
        return;
    m_pathWatch = std::make_unique<PathWatch>(*m_data, m_settings, m_engine, *m_paths, *m_announcer);
    m_pathWatch->keepIn(&m_history->store());
    m_pathWatch->setMetrics(m_metrics.get());
}

const ReachabilityView& MonitorCore::reachability() const
{
    return *m_reachability;
}

const DeviceStatistics* MonitorCore::statistics() const
{
    return m_history ? &m_history->statistics() : nullptr;
}

QString MonitorCore::historyFile() const
{
    return m_options.historyFile;
}

QString MonitorCore::recordingProblem() const
{
    return m_history ? m_history->recordingProblem() : QString();
}

void MonitorCore::start()
{
    // A scan that ends after the core did must not bring the monitor back.
    if (m_ended || m_pinger)
        return;
    // A stand-in answers for every device, whatever its check. Echo devices on a local link are
    // asked by ARP too, so that one whose firewall drops echo requests is seen present.
    m_pinger = std::make_unique<PingerThread>(
        *m_data, m_settings,
        m_options.probe ? NetworkProbe::from(m_options.probe) : NetworkProbe::overNetwork(m_engine, 0, true),
        [this](const QList<ProbeRecord>& results) { fanOut(results); }, m_options.probe ? nullptr : &m_engine);
    m_pinger->start(QThread::InheritPriority);
    m_networkWatch->start();
    if (m_pathWatch)
        m_pathWatch->start();
}

void MonitorCore::pause()
{
    if (m_pathWatch)
        m_pathWatch->stop();
    m_pinger.reset();
}

void MonitorCore::askTheWay(const QString& ip)
{
    // Whether the device failed alone or behind another, and how many are behind it, is decided
    // within the grouping moment: the devices on its way and those behind it that still count as
    // connected are asked at once, rather than when the monitor's turn reaches them, which may
    // come after the moment has passed.
    if (!m_reachability->groupsFailures())
        return;
    if (m_wayAsked.isEmpty())
        QTimer::singleShot(m_options.grouping, m_data.get(), [this] { m_wayAsked.clear(); });
    // Each device once in the moment; false for one asked already.
    const auto ask = [this](const QString& device) {
        if (m_wayAsked.contains(device))
            return false;
        m_wayAsked.insert(device);
        if (m_data->entry(device).state == DeviceStateConnected)
            pingNow(device);
        return true;
    };
    // A way asked already was asked the whole way back.
    for (const QString& onTheWay : m_reachability->wayBack(ip))
        if (!ask(onTheWay))
            break;
    for (const QString& behind : m_reachability->wayOn(ip, MostAskedBehind))
        ask(behind);
}

void MonitorCore::pingNow(const QString& ip)
{
    if (m_pinger)
        m_pinger->probeNow(ip);
}

void MonitorCore::fanOut(const QList<ProbeRecord>& results)
{
    // The sinks live until the monitor stops, and the monitor hands over what it still holds as
    // it stops.
    for (const ProbeRecord& record : results) {
        m_history->record(record);
        m_metrics->record(record);
        // Each further check's figures are kept under a key of its own; the metrics and the
        // slow watch follow the first check's.
        for (qsizetype i = 0; i < record.moreChecks.size() && i < record.moreResults.size(); ++i) {
            const DeviceCheck& check = record.moreChecks.at(i);
            m_history->record(
                {DeviceEntry::checkKey(record.device, check), record.atMs, record.moreResults.at(i), check});
        }
    }
    m_slow->record(results);
}

void MonitorCore::paceEngineSoon()
{
    if (m_pacePending)
        return;
    m_pacePending = true;
    QTimer::singleShot(0, m_data.get(), [this] { paceEngine(); });
}

void MonitorCore::paceEngine()
{
    m_pacePending = false;
    const QList<DeviceEntry> entries = m_data->entries();
    const qint64 requests = ProbeRate::requestsOf(entries);
    const qint64 period = qint64(std::max(0, m_settings.probePeriod.load())) * 1000;
    const qint64 ceiling = ProbeRate::ceilingOf(m_settings);
    m_engine.setInterval(ProbeRate::intervalNs(requests, period, ceiling));
    const QString outgrown = ProbeRate::outgrownText(entries.size(), requests, period, ceiling);
    // A list whose reading was given up (the program is quitting) is only a part of itself.
    const bool quitting = m_options.stopLoading && m_options.stopLoading();
    if (!outgrown.isEmpty() && outgrown != m_paceReported && !quitting)
        m_options.report(outgrown + QLatin1Char('.'));
    m_paceReported = outgrown;
}

void MonitorCore::serveMetrics(const QString& address)
{
    m_options.metricsAddress = address;
    const bool served = m_metrics && m_metrics->serving();
    const MetricsAddress parsed = MetricsAddress::parse(address);
    // The old server lets its port go before the new one takes it.
    m_metrics.reset();
    // The start-up opened the socket, or found it cannot, before the right to was given up.
    m_metrics = std::make_unique<MetricsPublisher>(address, *m_data, m_history->statistics(), *m_reachability,
                                                   m_options.version, m_engine.hasSocket(), m_options.report, *m_slow,
                                                   *m_maintenance);
    if (m_networkWatch)
        m_networkWatch->setMetrics(m_metrics.get());
    if (m_pathWatch)
        m_pathWatch->setMetrics(m_metrics.get());
    for (auto it = m_paths->all().cbegin(); it != m_paths->all().cend(); ++it)
        m_metrics->pathFound(it.key(), int(it->routers.size()), false);
    // A refused address says why itself; one left empty says nothing.
    if (served && !parsed.enabled() && parsed.error.isEmpty())
        m_options.report(QStringLiteral("Metrics are no longer served."));
}

std::vector<FileChangeWatch::File> MonitorCore::files()
{
    const auto file = [this](auto document, auto ownChangesWaiting, auto readAgain) {
        return FileChangeWatch::File{
            .document = document,
            .ownChangesWaiting = ownChangesWaiting,
            .readAgain = readAgain,
            .heldBack = [this, document] { reportHeldBack(document()); },
        };
    };
    return {
        file([this]() -> const DocumentFile& { return m_settings.file(); },
             [this] { return m_settings.hasUnsavedChanges(); }, [this] { readSettingsAgain(); }),
        file([this]() -> const DocumentFile& { return m_data->file(); }, [this] { return m_data->hasUnsavedChanges(); },
             [this] { reportReload(m_data->fileName(), m_data->reload(m_options.report)); }),
        file([this]() -> const DocumentFile& { return m_map->file(); }, [this] { return m_map->hasUnsavedChanges(); },
             [this] { reportReload(m_map->fileName(), m_map->reload(m_options.report)); }),
    };
}

void MonitorCore::reload()
{
    if (m_ended)
        return;
    for (const FileChangeWatch::File& file : files()) {
        // Reading it now would undo what was changed here and not saved yet.
        if (file.ownChangesWaiting())
            reportHeldBack(file.document());
        else
            file.readAgain();
    }
}

void MonitorCore::readSettingsAgain()
{
    reportReload(m_settings.fileName, m_settings.reload(m_options.report));
    // A server that could not listen (its port was taken) tries again, the address unchanged.
    const QString metrics = m_settings.metricsAddress;
    if (m_options.metricsFollowSettings
        && (metrics != m_options.metricsAddress || (!m_metrics->serving() && MetricsAddress::parse(metrics).enabled())))
        serveMetrics(metrics);
}

void MonitorCore::reportHeldBack(const DocumentFile& file)
{
    if (file.changedOnDisk())
        m_options.report(
            QStringLiteral("\"%1\" changed on disk while changes made in Tarnwick wait to be saved to it, "
                           "so it is not read again: the save keeps your version as \"%1.changed-on-disk\".")
                .arg(file.fileName()));
    else
        m_options.report(QStringLiteral("\"%1\" was not read again: changes made in Tarnwick wait to be saved to it.")
                             .arg(file.fileName()));
}

void MonitorCore::reportReload(const QString& file, const FileReload& outcome)
{
    if (!outcome.read) {
        m_options.report(
            QStringLiteral("\"%1\" was not read again: %2. What runs is kept as it was.").arg(file, outcome.problem));
    } else if (!outcome.changedNames.isEmpty()) {
        m_options.report(QStringLiteral("\"%1\" read again: %2 changed.")
                             .arg(file, outcome.changedNames.join(QStringLiteral(", "))));
    } else if (outcome.changedAnything()) {
        m_options.report(QStringLiteral("\"%1\" read again: %2 added, %3 removed, %4 changed.")
                             .arg(file, QString::number(outcome.added), QString::number(outcome.removed),
                                  QString::number(outcome.changed)));
    } else {
        m_options.report(QStringLiteral("\"%1\" read again: nothing changed.").arg(file));
    }
}

void MonitorCore::end()
{
    if (m_ended)
        return;
    m_ended = true;
    // What is saved below is not read back.
    m_fileWatch.reset();
    // Its last entries reach the history before that ends.
    m_networkWatch.reset();
    m_pathWatch.reset();
    m_sweep.reset();
    // The results the monitor reported before it stopped reach the store and the sinks now.
    pause();
    m_engine.stop();
    m_engine.resolver().stop();
    // Announcements queued to receivers elsewhere, and the releases of their event records.
    QCoreApplication::sendPostedEvents();
    m_metrics.reset();
    m_history.reset();
    // What the history said as it ended (results it could not write) is reported.
    QCoreApplication::sendPostedEvents();
    m_map->save();
    m_settings.save();
    m_data->save();
}

} // namespace Tarnwick
