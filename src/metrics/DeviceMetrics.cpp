// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceMetrics.h"

#include "data/Data.h"
#include "data/DeviceAddedEvent.h"
#include "data/DeviceEntryChangedEvent.h"
#include "data/DeviceRemovedEvent.h"
#include "data/MaintenanceView.h"
#include "data/ReachabilityView.h"
#include "data/SlowView.h"
#include "history/DeviceStatistics.h"

#include <QDateTime>
#include <QMutexLocker>

namespace Tarnwick {

namespace {

using prometheus::ClientMetric;
using prometheus::MetricFamily;
using prometheus::MetricType;

ClientMetric sample(std::vector<ClientMetric::Label> labels, MetricType type, double value)
{
    ClientMetric metric;
    metric.label = std::move(labels);
    if (type == MetricType::Counter)
        metric.counter.value = value;
    else
        metric.gauge.value = value;
    return metric;
}

} // namespace

DeviceMetrics::DeviceMetrics(Data& data, const DeviceStatistics& statistics, const ReachabilityView& reachability,
                             const QString& version, bool canProbe, QObject* parent)
    : QObject(parent)
    , m_data(data)
    , m_statistics(statistics)
    , m_reachability(reachability)
    , m_version(version.toStdString())
    , m_canProbe(canProbe)
{
    data.connectReceiver(this,
                         {.changed = [this](DeviceEntryChangedEvent* pEvent) { DeviceEntryChanged(pEvent); },
                          .added = [this](DeviceAddedEvent* pEvent) { deviceAdded(pEvent->entry().ip); },
                          .removed = [this](DeviceRemovedEvent* pEvent) { forgetUnlisted(pEvent->entry().ip); }});
    connect(&reachability, &ReachabilityView::reachabilityChanged, this, &DeviceMetrics::reachabilityChanged);
    reachabilityChanged();
}

void DeviceMetrics::record(const ProbeRecord& result)
{
    QMutexLocker lock(&m_mutex);
    Counts& counts = m_counts.at(result.device, result.slot);
    switch (result.result.kind) {
    case ProbeResult::Reply:
        ++counts.replies;
        counts.lastRoundTripUs = result.result.roundTripUs;
        counts.roundTrips.observe(result.result.roundTripUs);
        return;
    case ProbeResult::Timeout:
    case ProbeResult::Present:
        ++counts.timeouts;
        break;
    case ProbeResult::SocketError:
        ++counts.errors;
        break;
    }
    counts.lastRoundTripUs = -1;
}

void DeviceMetrics::setSlowView(const SlowView* slow)
{
    if (m_slowView)
        disconnect(m_slowView, nullptr, this, nullptr);
    m_slowView = slow;
    QSet<QString> slowNow;
    if (slow) {
        connect(slow, &SlowView::slownessChanged, this, &DeviceMetrics::slownessChanged);
        for (const DeviceEntry& entry : m_data.entries()) {
            if (slow->isSlow(entry.ip))
                slowNow.insert(entry.ip);
        }
    }
    QMutexLocker lock(&m_mutex);
    m_slow = std::move(slowNow);
}

void DeviceMetrics::slownessChanged(const QString& ip)
{
    const bool slow = m_slowView && m_slowView->isSlow(ip);
    QMutexLocker lock(&m_mutex);
    if (slow)
        m_slow.insert(ip);
    else
        m_slow.remove(ip);
}

void DeviceMetrics::setMaintenanceView(const MaintenanceView* maintenance)
{
    if (m_maintenanceView)
        disconnect(m_maintenanceView, nullptr, this, nullptr);
    m_maintenanceView = maintenance;
    if (maintenance)
        connect(maintenance, &MaintenanceView::changed, this, &DeviceMetrics::maintenanceChanged);
    maintenanceChanged();
}

void DeviceMetrics::maintenanceChanged()
{
    QSet<QString> inMaintenance;
    if (m_maintenanceView) {
        for (const DeviceEntry& entry : m_data.entries()) {
            if (m_maintenanceView->inMaintenance(entry.ip))
                inMaintenance.insert(entry.ip);
        }
    }
    QMutexLocker lock(&m_mutex);
    m_inMaintenance = std::move(inMaintenance);
}

void DeviceMetrics::deviceAdded(const QString& ip)
{
    // A window for every device covers one added while it lasts.
    if (!m_maintenanceView || !m_maintenanceView->inMaintenance(ip))
        return;
    QMutexLocker lock(&m_mutex);
    m_inMaintenance.insert(ip);
}

void DeviceMetrics::forgetUnlisted(const QString& ip)
{
    // An address listed again is a new series: its counters start from nothing, and those of
    // addresses gone take no memory. Another entry may still have the address.
    if (m_data.contains(ip))
        return;
    QMutexLocker lock(&m_mutex);
    m_counts.remove(ip);
}

void DeviceMetrics::DeviceEntryChanged(DeviceEntryChangedEvent* pEvent)
{
    if (pEvent->oldEntry().ip != pEvent->newEntry().ip)
        forgetUnlisted(pEvent->oldEntry().ip);
    if (!pEvent->changesState())
        return;
    QMutexLocker lock(&m_mutex);
    ++m_counts.at(pEvent->newEntry().ip).stateChanges;
}

void DeviceMetrics::reachabilityChanged()
{
    QHash<QString, QString> behind;
    for (const DeviceEntry& entry : m_data.entries()) {
        const QString failed = m_reachability.behind(entry.ip);
        if (!failed.isEmpty())
            behind.insert(entry.ip, failed);
    }
    QMutexLocker lock(&m_mutex);
    m_behind = std::move(behind);
}

std::vector<MetricFamily> DeviceMetrics::Collect() const
{
    const QList<DeviceEntry> entries = m_data.entries();
    QHash<QString, Counts> counts;
    QHash<QString, QString> behind;
    QSet<QString> slowNow;
    QSet<QString> inMaintenance;
    bool judged = false;
    bool maintenanceKnown = false;
    std::optional<NetworkFigures> network;
    QHash<QString, PathFigures> paths;
    {
        QMutexLocker lock(&m_mutex);
        paths = m_paths;
        counts = m_counts.all();
        behind = m_behind;
        slowNow = m_slow;
        judged = m_slowView != nullptr;
        inMaintenance = m_inMaintenance;
        maintenanceKnown = m_maintenanceView != nullptr;
        network = m_network;
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();

    MetricFamily devices{"tarnwick_devices", "Devices in the list.", MetricType::Gauge, {}};
    devices.metric.push_back(sample({}, MetricType::Gauge, double(entries.size())));
    MetricFamily build{"tarnwick_build_info", "The running Tarnwick's version.", MetricType::Gauge, {}};
    build.metric.push_back(sample({{"version", m_version}}, MetricType::Gauge, 1));
    MetricFamily canProbe{"tarnwick_monitor_can_probe",
                          "Whether the monitor can send probes at all (1) or lacks the right to (0); "
                          "while 0, tarnwick_device_up tells nothing of the devices.",
                          MetricType::Gauge,
                          {}};
    canProbe.metric.push_back(sample({}, MetricType::Gauge, m_canProbe ? 1 : 0));
    MetricFamily info{"tarnwick_device_info", "The device's description.", MetricType::Gauge, {}};
    MetricFamily cutOff{"tarnwick_device_unreachable_behind",
                        "Present (1) while the device is disconnected because the failed device in its "
                        "label behind cuts it off from Tarnwick; absent otherwise.",
                        MetricType::Gauge,
                        {}};
    MetricFamily up{"tarnwick_device_up",
                    "Whether the device answered its last probes (1) or not (0); "
                    "absent until its first result.",
                    MetricType::Gauge,
                    {}};
    MetricFamily slow{"tarnwick_device_slow",
                      "Whether the device answers but too slowly or loses too many replies (1) or "
                      "not (0); absent until its first result.",
                      MetricType::Gauge,
                      {}};
    MetricFamily maintenance{"tarnwick_device_in_maintenance",
                             "Whether a maintenance window of the device, or of every device, holds its "
                             "alerts back now (1) or not (0).",
                             MetricType::Gauge,
                             {}};
    MetricFamily rtt{"tarnwick_device_rtt_seconds",
                     "Round trip of the device's last reply; absent when its "
                     "last probe had no reply.",
                     MetricType::Gauge,
                     {}};
    MetricFamily probes{
        "tarnwick_probes_total", "Probes sent to the device, by their result.", MetricType::Counter, {}};
    MetricFamily changes{"tarnwick_device_state_changes_total",
                         "Times the device went from connected to disconnected or back.",
                         MetricType::Counter,
                         {}};
    MetricFamily loss{"tarnwick_device_loss_5m_ratio",
                      "Share of the device's probes without a reply over the last 5 minutes.",
                      MetricType::Gauge,
                      {}};
    MetricFamily average{"tarnwick_device_rtt_5m_average_seconds",
                         "Average round trip of the device's replies over the last 5 minutes.",
                         MetricType::Gauge,
                         {}};
    MetricFamily roundTrips{"tarnwick_device_round_trip_seconds",
                            "Round trips of the device's replies, by bucket from 100 us to 10 s; "
                            "probes without a reply count in none.",
                            MetricType::Histogram,
                            {}};
    roundTrips.metric.reserve(std::size_t(entries.size()));

    MetricFamily unprobed{"tarnwick_device_probe_failed",
                          "Present (1) while the device's probes end in an error, for the reason in its "
                          "label (\"name not found\", \"connection refused\"); absent otherwise.",
                          MetricType::Gauge,
                          {}};

    MetricFamily pathHops{"tarnwick_device_path_hops",
                          "Routers on the way to the device as its last complete trace found them (0: on a "
                          "network of this computer's own); absent until the path watch traced it.",
                          MetricType::Gauge,
                          {}};
    MetricFamily pathChanges{"tarnwick_device_path_changes_total",
                             "Times the path watch found another way to the device than the one before.",
                             MetricType::Counter,
                             {}};

    for (const DeviceEntry& entry : entries) {
        if (!entry.hasAddress())
            continue;
        const std::vector<ClientMetric::Label> labels{{"address", entry.ip.toStdString()}};
        if (const ProbeResult& last = entry.lastProbe; last.kind == ProbeResult::SocketError && !last.reason.isEmpty())
            unprobed.metric.push_back(sample({labels[0], {"reason", last.reason.toStdString()}}, MetricType::Gauge, 1));
        const Counts count = counts.value(entry.ip);
        info.metric.push_back(
            sample({labels[0], {"description", entry.description.toStdString()}}, MetricType::Gauge, 1));
        if (const QString failed = behind.value(entry.ip); !failed.isEmpty())
            cutOff.metric.push_back(sample({labels[0], {"behind", failed.toStdString()}}, MetricType::Gauge, 1));
        if (!entry.awaitingFirstResult
            && (entry.state == DeviceStateConnected || entry.state == DeviceStateDisconnected)) {
            up.metric.push_back(sample(labels, MetricType::Gauge, entry.state == DeviceStateConnected ? 1 : 0));
            if (judged)
                slow.metric.push_back(sample(labels, MetricType::Gauge, slowNow.contains(entry.ip) ? 1 : 0));
        }
        if (maintenanceKnown)
            maintenance.metric.push_back(sample(labels, MetricType::Gauge, inMaintenance.contains(entry.ip) ? 1 : 0));
        if (count.lastRoundTripUs >= 0)
            rtt.metric.push_back(sample(labels, MetricType::Gauge, double(count.lastRoundTripUs) / 1e6));
        for (const auto& [result, value] :
             {std::pair{"reply", count.replies}, {"timeout", count.timeouts}, {"error", count.errors}}) {
            std::vector<ClientMetric::Label> byResult = labels;
            byResult.push_back({"result", result});
            probes.metric.push_back(sample(std::move(byResult), MetricType::Counter, value));
        }
        changes.metric.push_back(sample(labels, MetricType::Counter, count.stateChanges));
        if (const auto path = paths.constFind(entry.ip); path != paths.cend()) {
            pathHops.metric.push_back(sample(labels, MetricType::Gauge, path->hops));
            pathChanges.metric.push_back(sample(labels, MetricType::Counter, path->changes));
        }
        ClientMetric& histogram = roundTrips.metric.emplace_back();
        histogram.label = labels;
        count.roundTrips.fill(histogram.histogram);
        const DeviceStatistics::Summary recent = m_statistics.lastMinutes(entry.ip, now, RecentMinutes);
        if (recent.lossPercent)
            loss.metric.push_back(sample(labels, MetricType::Gauge, *recent.lossPercent / 100.0));
        if (recent.averageMs)
            average.metric.push_back(sample(labels, MetricType::Gauge, *recent.averageMs / 1000.0));
    }
    // Moved in one by one: a braced list would copy every family's samples.
    std::vector<MetricFamily> families;
    for (MetricFamily* family : {&devices, &build, &canProbe, &info, &cutOff, &up, &rtt, &probes, &changes, &loss,
                                 &average, &roundTrips, &unprobed})
        families.push_back(std::move(*family));
    if (judged)
        families.push_back(std::move(slow));
    if (maintenanceKnown)
        families.push_back(std::move(maintenance));
    if (!paths.isEmpty()) {
        families.push_back(std::move(pathHops));
        families.push_back(std::move(pathChanges));
    }
    if (network) {
        MetricFamily heard{"tarnwick_network_devices",
                           "Hardware that answered in the network watch's last round.",
                           MetricType::Gauge,
                           {}};
        heard.metric.push_back(sample({}, MetricType::Gauge, network->heard));
        MetricFamily joined{"tarnwick_network_new_devices_total",
                            "Hardware the network watch heard for the first time.",
                            MetricType::Counter,
                            {}};
        joined.metric.push_back(sample({}, MetricType::Counter, network->newDevices));
        MetricFamily changed{"tarnwick_network_address_changes_total",
                             "Addresses the network watch heard answer from other hardware than before.",
                             MetricType::Counter,
                             {}};
        changed.metric.push_back(sample({}, MetricType::Counter, network->hardwareChanges));
        families.push_back(std::move(heard));
        families.push_back(std::move(joined));
        families.push_back(std::move(changed));
    }
    return families;
}

void DeviceMetrics::pathFound(const QString& ip, int hops, bool changed)
{
    QMutexLocker lock(&m_mutex);
    PathFigures& figures = m_paths[ip];
    figures.hops = hops;
    figures.changes += changed ? 1 : 0;
}

void DeviceMetrics::networkRound(int heard, int newDevices, int hardwareChanges)
{
    QMutexLocker lock(&m_mutex);
    NetworkFigures& figures = m_network ? *m_network : m_network.emplace();
    figures.heard = heard;
    figures.newDevices += newDevices;
    figures.hardwareChanges += hardwareChanges;
}

} // namespace Tarnwick
