// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "MetricsAddress.h"
#include "ServerDoor.h"

#include <QString>

#include <memory>

namespace prometheus {
class Collectable;
class Exposer;
} // namespace prometheus

namespace Tarnwick {

// Serves what a collectable holds at "/metrics" of one address, read-only, on threads of its
// own, for as long as it lives.
class MetricsServer
{
public:
    // Each connection holds one thread until its request is read whole and answered: clients
    // that connect and send nothing, or drip their request, keep a thread for at most the
    // request time-out, and a scrape finds a free thread beside a few of them.
    struct Limits
    {
        int threads = 8;
        int requestTimeoutMs = 5000;
    };

    MetricsServer();
    explicit MetricsServer(Limits limits);
    ~MetricsServer();
    MetricsServer(const MetricsServer&) = delete;
    MetricsServer& operator=(const MetricsServer&) = delete;

    // False, with the reason in error, when the address cannot be listened on (taken, not of
    // this computer, no right to it).
    bool listen(const MetricsAddress& address, const std::shared_ptr<prometheus::Collectable>& collectable,
                QString* error);
    // The port listened on; 0 when none.
    int port() const;

private:
    void stop();

    Limits m_limits;
    std::unique_ptr<prometheus::Exposer> m_exposer;
    ServerDoor m_door;
};

} // namespace Tarnwick
