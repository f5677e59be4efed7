// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "MetricsAddress.h"

#include <QString>

struct mg_context;

namespace Tarnwick {

// Starts an HTTP server of ours (civetweb) listening at an address, with its threads and request
// time-out, saying nothing in the log; the metrics server and the API share it.
class CivetwebStart
{
public:
    // The server, and the port it listens on; none, with why in error (the system's words where
    // a socket tells, civetweb's otherwise), when it cannot listen there.
    static mg_context* start(const MetricsAddress& address, int threads, int requestTimeoutMs, int* port,
                             QString* error);
};

} // namespace Tarnwick
