// SPDX-License-Identifier: GPL-3.0-or-later
#include "MetricsPublisher.h"

#include "metrics/DeviceMetrics.h"
#include "metrics/MetricsAddress.h"

namespace Tarnwick {

MetricsPublisher::MetricsPublisher(const QString& addressText, Data& data, const DeviceStatistics& statistics,
                                   const ReachabilityView& reachability, const QString& version, bool canProbe,
                                   const Report& report, const SlowView& slow, const MaintenanceView& maintenance)
{
    const MetricsAddress address = MetricsAddress::parse(addressText);
    if (!address.error.isEmpty()) {
        report(address.error);
        return;
    }
    if (!address.enabled())
        return;
    auto metrics = std::make_shared<DeviceMetrics>(data, statistics, reachability, version, canProbe);
    metrics->setSlowView(&slow);
    metrics->setMaintenanceView(&maintenance);
    QString why;
    if (!m_server.listen(address, metrics, &why)) {
        report(QStringLiteral("Metrics cannot be served at %1: %2").arg(address.listen, why));
        return;
    }
    m_metrics = std::move(metrics);
    report(QStringLiteral("Metrics are served at http://%1/metrics").arg(address.listen));
}

void MetricsPublisher::record(const ProbeRecord& record)
{
    if (m_metrics)
        m_metrics->record(record);
}

void MetricsPublisher::networkRound(int heard, int newDevices, int hardwareChanges)
{
    if (m_metrics)
        m_metrics->networkRound(heard, newDevices, hardwareChanges);
}

void MetricsPublisher::pathFound(const QString& ip, int hops, bool changed)
{
    if (m_metrics)
        m_metrics->pathFound(ip, hops, changed);
}

} // namespace Tarnwick
