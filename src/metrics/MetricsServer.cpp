// SPDX-License-Identifier: GPL-3.0-or-later
#include "MetricsServer.h"

#include "CivetwebStart.h"
#include "MetricsPage.h"

#include <civetweb.h>

#include <QByteArray>
#include <QList>

#include <cstring>
#include <exception>
#include <string>

namespace Tarnwick {

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
    // "$": the path itself, not every path it begins.
    mg_set_request_handler(m_server, "/metrics$", &MetricsServer::handle, this);
    m_door = ServerDoor(address.listen, m_port);
    return true;
}

int MetricsServer::port() const
{
    return m_port;
}

bool MetricsServer::acceptsGzip(const char* acceptEncoding)
{
    // Each coding may carry a weight ("gzip;q=0" refuses it); "*" stands for any not named.
    bool named = false;
    bool gzip = false;
    bool any = false;
    for (const QByteArray& item : QByteArray(acceptEncoding).split(',')) {
        const QList<QByteArray> parts = item.split(';');
        const QByteArray coding = parts.first().trimmed().toLower();
        double weight = 1;
        for (qsizetype i = 1; i < parts.size(); ++i) {
            const QByteArray parameter = parts.at(i).trimmed().toLower();
            if (parameter.startsWith("q=")) {
                bool ok = false;
                weight = parameter.mid(2).toDouble(&ok);
                if (!ok)
                    weight = 0;
            }
        }
        if (coding == "gzip" || coding == "x-gzip") {
            named = true;
            gzip = gzip || weight > 0;
        } else if (coding == "*") {
            any = weight > 0;
        }
    }
    return named ? gzip : any;
}

int MetricsServer::handle(mg_connection* connection, void* self)
{
    const char* accepted = mg_get_header(connection, "Accept-Encoding");
    const bool gzip = accepted && acceptsGzip(accepted);
    const bool headOnly = std::strcmp(mg_get_request_info(connection)->request_method, "HEAD") == 0;
    static_cast<MetricsServer*>(self)->m_page->serve(gzip, [&](std::string_view page) {
        std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/plain; version=0.0.4; charset=utf-8\r\n";
        if (gzip)
            head += "Content-Encoding: gzip\r\n";
        // The page differs by what the client accepts: a cache in between keeps them apart.
        head += "Vary: Accept-Encoding\r\n";
        head += "Content-Length: " + std::to_string(page.size()) + "\r\nConnection: close\r\n\r\n";
        mg_write(connection, head.data(), head.size());
        if (!headOnly)
            mg_write(connection, page.data(), page.size());
    });
    return 200;
}

} // namespace Tarnwick
