// SPDX-License-Identifier: GPL-3.0-or-later
#include "MetricsServer.h"

#include "CivetwebStart.h"
#include "MetricsPage.h"

#include <civetweb.h>

#include <cstring>
#include <exception>
#include <string>

namespace Tarnwick {

namespace {

bool acceptsGzip(const mg_connection* connection)
{
    const char* accepted = mg_get_header(connection, "Accept-Encoding");
    return accepted && std::strstr(accepted, "gzip");
}

} // namespace

MetricsServer::MetricsServer()
    : MetricsServer(Limits{})
{
}

MetricsServer::MetricsServer(Limits limits)
    : m_limits(limits)
{
    mg_init_library(0);
}

MetricsServer::~MetricsServer()
{
    stop();
    mg_exit_library();
}

void MetricsServer::stop()
{
    if (m_server)
        m_door.stopWhileKnocking([this] { mg_stop(m_server); });
    m_server = nullptr;
    m_port = 0;
    m_page.reset();
}

bool MetricsServer::listen(const MetricsAddress& address, const std::shared_ptr<prometheus::Collectable>& collectable,
                           QString* error)
{
    stop();
    try {
        m_page = std::make_unique<MetricsPage>(collectable);
    } catch (const std::exception& failure) {
        if (error)
            *error = QString::fromLocal8Bit(failure.what());
        return false;
    }
    m_server = CivetwebStart::start(address, m_limits.threads, m_limits.requestTimeoutMs, &m_port, error);
    if (!m_server) {
        m_page.reset();
        return false;
    }
    mg_set_request_handler(m_server, "/metrics", &MetricsServer::handle, this);
    m_door = ServerDoor(address.listen, m_port);
    return true;
}

int MetricsServer::port() const
{
    return m_port;
}

int MetricsServer::handle(mg_connection* connection, void* self)
{
    const bool gzip = acceptsGzip(connection);
    const bool headOnly = std::strcmp(mg_get_request_info(connection)->request_method, "HEAD") == 0;
    static_cast<MetricsServer*>(self)->m_page->serve(gzip, [&](std::string_view page) {
        std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/plain; version=0.0.4; charset=utf-8\r\n";
        if (gzip)
            head += "Content-Encoding: gzip\r\n";
        head += "Content-Length: " + std::to_string(page.size()) + "\r\nConnection: close\r\n\r\n";
        mg_write(connection, head.data(), head.size());
        if (!headOnly)
            mg_write(connection, page.data(), page.size());
    });
    return 200;
}

} // namespace Tarnwick
