// SPDX-License-Identifier: GPL-3.0-or-later
#include "CivetwebStart.h"

#include "ServerDoor.h"

#include <civetweb.h>

#include <string>

namespace Tarnwick {

namespace {

// Civetweb's own lines about clients that went away or sent nonsense are no news for the log.
int quiet(const mg_connection*, const char*)
{
    return 1;
}

} // namespace

mg_context* CivetwebStart::start(const MetricsAddress& address, int threads, int requestTimeoutMs, int* port,
                                 QString* error)
{
    const std::string ports = address.listen.toStdString();
    const std::string threadCount = std::to_string(threads);
    const std::string timeout = std::to_string(requestTimeoutMs);
    const char* options[] = {"listening_ports",    ports.c_str(),   "num_threads", threadCount.c_str(),
                             "request_timeout_ms", timeout.c_str(), nullptr};
    mg_callbacks callbacks = {};
    callbacks.log_message = quiet;
    mg_init_data init = {};
    init.callbacks = &callbacks;
    init.configuration_options = options;
    mg_error_data failure = {};
    char reason[256] = {};
    failure.text = reason;
    failure.text_buffer_size = sizeof reason;
    mg_context* server = mg_start2(&init, &failure);
    if (!server) {
        // Civetweb says only that it failed; the system says why, where a socket tells.
        const QString asked = address.listen.mid(address.listen.lastIndexOf(QLatin1Char(':')) + 1);
        const QString why = ServerDoor(address.listen, asked.toInt()).bindProblem();
        if (error)
            *error = why.isEmpty() ? QString::fromLocal8Bit(reason) : why;
        return nullptr;
    }
    mg_server_port listening = {};
    *port = mg_get_server_ports(server, 1, &listening) == 1 ? listening.port : 0;
    return server;
}

} // namespace Tarnwick
