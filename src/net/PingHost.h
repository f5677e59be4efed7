#pragma once

#include <QString>

#include <functional>

namespace Tarnwick {

constexpr int PingNoReply = -1;
constexpr int PingSocketError = -2;

// Sends one ICMP echo request to host (a name or dotted IPv4 text) and waits up to timeoutMs
// for its reply. Returns the round-trip time in milliseconds, PingNoReply when no matching
// reply came in time, PingSocketError when no ICMP socket could be had, the host could not be
// resolved, or sending or receiving failed. Opens and closes its own socket; re-entrant.
int pingHost(const QString& host, int timeoutMs, int identifier, int sequence);

// Anything that probes like pingHost; the probing threads take one so that tests can stand in.
using ProbeFunction = std::function<int(const QString& host, int timeoutMs, int identifier, int sequence)>;

} // namespace Tarnwick
