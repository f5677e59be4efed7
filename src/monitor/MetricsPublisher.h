// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "metrics/MetricsServer.h"

#include <QString>

#include <functional>
#include <memory>

namespace Tarnwick {

class Data;
class DeviceMetrics;
class DeviceStatistics;
class MaintenanceView;
class ReachabilityView;
class SlowView;
struct ProbeRecord;

// Serves the devices' metrics at the address the user chose, when one is chosen, for as long
// as it lives; says where, or why not.
class MetricsPublisher
{
public:
    using Report = std::function<void(const QString& text)>;

    // canProbe: whether the monitor has a socket to probe with.
    MetricsPublisher(const QString& addressText, Data& data, const DeviceStatistics& statistics,
                     const ReachabilityView& reachability, const QString& version, bool canProbe, const Report& report,
                     const SlowView& slow, const MaintenanceView& maintenance);

    // From any thread; nothing while no metrics are served.
    void record(const ProbeRecord& record);
    // A round of the network watch ended; nothing while no metrics are served.
    void networkRound(int heard, int newDevices, int hardwareChanges);
    // The path watch found the way to a device; nothing while no metrics are served.
    void pathFound(const QString& ip, int hops, bool changed);
    bool serving() const { return m_metrics != nullptr; }

private:
    std::shared_ptr<DeviceMetrics> m_metrics;
    MetricsServer m_server;
};

} // namespace Tarnwick
