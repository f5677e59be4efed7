// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>
#include <functional>

namespace Tarnwick {

// The outcome of one echo request.
struct ProbeResult
{
    // Present: the host answered ARP on the local link but not the echo request.
    enum Kind { Reply, Timeout, SocketError, Present };

    Kind kind = Timeout;
    // The round trip, measured on the monotonic clock; 0 unless kind is Reply.
    std::int64_t roundTripUs = 0;
    // Why no reply came where the network said so, such as "host unreachable, from 10.0.0.1";
    // empty otherwise.
    QString reason = {};

    // The outcome as the probe's callers have always counted it: whole milliseconds of round
    // trip, PingNoReply or PingSocketError.
    int milliseconds() const;
};

constexpr int PingNoReply = -1;
constexpr int PingSocketError = -2;

inline int ProbeResult::milliseconds() const
{
    switch (kind) {
    case Reply:
        return int(roundTripUs / 1000);
    case Timeout:
    case Present:
        return PingNoReply;
    case SocketError:
        break;
    }
    return PingSocketError;
}

// Called exactly once with the outcome of a request.
using ProbeCompletion = std::function<void(const ProbeResult& result)>;

} // namespace Tarnwick
