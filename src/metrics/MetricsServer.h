// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "MetricsAddress.h"
#include "ServerDoor.h"

#include <QString>

#include <memory>

struct mg_connection;
struct mg_context;

namespace prometheus {
class Collectable;
} // namespace prometheus

namespace Tarnwick {

class MetricsPage;

// Serves what a collectable holds at "/metrics" of one address, read-only, on threads of its
// own, for as long as it lives: as Prometheus's text format, gzipped for clients that accept it.
// Every other path is not found.
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
    // Whether a request's Accept-Encoding takes gzip, its weights heeded.
    static bool acceptsGzip(const char* acceptEncoding);

private:
    void stop();
    static int handle(mg_connection* connection, void* self);

    Limits m_limits;
    std::unique_ptr<MetricsPage> m_page;
    mg_context* m_server = nullptr;
    int m_port = 0;
    ServerDoor m_door;
};

} // namespace Tarnwick
