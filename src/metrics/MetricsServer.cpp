// SPDX-License-Identifier: GPL-3.0-or-later
#include "MetricsServer.h"

#include <prometheus/exposer.h>

#include <exception>
#include <string>
#include <vector>

namespace Tarnwick {

MetricsServer::MetricsServer()
    : MetricsServer(Limits{})
{
}

MetricsServer::MetricsServer(Limits limits)
    : m_limits(limits)
{
}

MetricsServer::~MetricsServer()
{
    stop();
}

void MetricsServer::stop()
{
    if (m_exposer)
        m_door.stopWhileKnocking([this] { m_exposer.reset(); });
}

bool MetricsServer::listen(const MetricsAddress& address, const std::shared_ptr<prometheus::Collectable>& collectable,
                           QString* error)
{
    stop();
    try {
        auto exposer = std::make_unique<prometheus::Exposer>(std::vector<std::string>{
            "listening_ports", address.listen.toStdString(), "num_threads", std::to_string(m_limits.threads),
            "request_timeout_ms", std::to_string(m_limits.requestTimeoutMs)});
        exposer->RegisterCollectable(collectable);
        m_exposer = std::move(exposer);
        m_door = ServerDoor(address.listen, port());
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
