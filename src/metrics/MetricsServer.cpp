// SPDX-License-Identifier: GPL-3.0-or-later
#include "MetricsServer.h"

#include <prometheus/exposer.h>

#include <exception>

namespace Tarnwick {

MetricsServer::MetricsServer() = default;
MetricsServer::~MetricsServer() = default;

bool MetricsServer::listen(const MetricsAddress& address, const std::shared_ptr<prometheus::Collectable>& collectable,
                           QString* error)
{
    m_exposer.reset();
    try {
        // Two threads: a scrape never waits behind another one for long, and nothing more is
        // served than the metrics.
        auto exposer = std::make_unique<prometheus::Exposer>(address.listen.toStdString(), 2);
        exposer->RegisterCollectable(collectable);
        m_exposer = std::move(exposer);
        return true;
    } catch (const std::exception& failure) {
        if (error)
            *error = QString::fromLocal8Bit(failure.what());
        return false;
    }
}

int MetricsServer::port() const
{
    if (!m_exposer)
        return 0;
    const std::vector<int> ports = m_exposer->GetListeningPorts();
    return ports.empty() ? 0 : ports.front();
}

} // namespace Tarnwick
