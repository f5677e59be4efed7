// SPDX-License-Identifier: GPL-3.0-or-later
#include "MetricsPublisher.h"

#include "HistoryRecorder.h"
#include "ProcessValues.h"
#include "log/LogManager.h"
#include "metrics/DeviceMetrics.h"
#include "metrics/MetricsAddress.h"
#include "net/ProbeEngine.h"

namespace Tarnwick {

MetricsPublisher::MetricsPublisher(const QString& addressText, Data& data, HistoryRecorder& history)
    : m_history(history)
{
    const MetricsAddress address = MetricsAddress::parse(addressText);
    if (!address.error.isEmpty()) {
        LogManager::instance().log("Application", address.error.toStdString());
        return;
    }
    if (!address.enabled())
        return;
    // Start-up opened the socket, or found it cannot, before the right to was given up.
    m_metrics = std::make_shared<DeviceMetrics>(data, history.statistics(), appVersion,
                                                ProbeEngine::shared().hasSocket());
    QString why;
    if (!m_server.listen(address, m_metrics, &why)) {
        LogManager::instance().log(
            "Application", QStringLiteral("Metrics cannot be served at %1: %2").arg(address.listen, why).toStdString());
        m_metrics.reset();
        return;
    }
    history.alsoObserve([metrics = m_metrics.get()](const ProbeRecord& record) { metrics->record(record); });
    LogManager::instance().log(
        "Application", QStringLiteral("Metrics are served at http://%1/metrics").arg(address.listen).toStdString());
}

MetricsPublisher::~MetricsPublisher()
{
    if (m_metrics)
        m_history.alsoObserve({});
}

} // namespace Tarnwick
