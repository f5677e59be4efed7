// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace Tarnwick {

// The probe result codes of pingHost, for callers that count an outcome as one number.
constexpr int PingNoReply = -1;
constexpr int PingSocketError = -2;

// The outcome of one echo request, as the engine gives it and the store, the history and the
// metrics take it.
struct ProbeResult
{
    // The history keeps these numbers in its files: never renumber them.
    enum Kind { Reply = 0, Timeout = 1, SocketError = 2 };

    Kind kind = Timeout;
    // The round trip, measured on the monotonic clock; 0 unless kind is Reply.
    std::int64_t roundTripUs = 0;

    static constexpr ProbeResult reply(std::chrono::microseconds roundTrip) { return {Reply, roundTrip.count()}; }
    static constexpr ProbeResult timeout() { return {Timeout, 0}; }
    static constexpr ProbeResult socketError() { return {SocketError, 0}; }

    constexpr bool answered() const { return kind == Reply; }
    // The round trip in whole milliseconds, as the program shows it; 0 unless answered.
    constexpr std::int64_t roundTripMs() const { return roundTripUs / 1000; }
    // The outcome as one number: whole milliseconds of round trip, PingNoReply or PingSocketError.
    constexpr int code() const
    {
        switch (kind) {
        case Reply:
            return int(roundTripMs());
        case Timeout:
            return PingNoReply;
        case SocketError:
            break;
        }
        return PingSocketError;
    }

    bool operator==(const ProbeResult& other) const = default;
};

// Called exactly once with the outcome of a request.
using ProbeCompletion = std::function<void(const ProbeResult& result)>;

} // namespace Tarnwick
