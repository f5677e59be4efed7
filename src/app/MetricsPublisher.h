// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "metrics/MetricsServer.h"

#include <QString>

#include <memory>

namespace Tarnwick {

class Data;
class DeviceMetrics;
class HistoryRecorder;

// Serves the devices' metrics at the address the user chose, when one is chosen, for as long
// as it lives; says in the log where, or why not.
class MetricsPublisher
{
public:
    MetricsPublisher(const QString& addressText, Data& data, HistoryRecorder& history);
    ~MetricsPublisher();

private:
    HistoryRecorder& m_history;
    std::shared_ptr<DeviceMetrics> m_metrics;
    MetricsServer m_server;
};

} // namespace Tarnwick
