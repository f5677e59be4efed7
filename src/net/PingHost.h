// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace Tarnwick {

class ProbeEngine;

// Sends one ICMP echo request to host (a name or dotted IPv4 text) through engine
// and waits up to timeoutMs for its reply. Returns the round trip in whole milliseconds,
// PingNoReply, or PingSocketError (no ICMP socket, a host that cannot be resolved, a failed
// send). For tools and tests; the program's own probing does not wait like this.
int pingHost(ProbeEngine& engine, const QString& host, int timeoutMs);

} // namespace Tarnwick
