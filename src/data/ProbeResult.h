// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <utility>

namespace Tarnwick {

// The probe result codes of pingHost, for callers that count an outcome as one number.
constexpr int PingNoReply = -1;
constexpr int PingSocketError = -2;

// The outcome of one echo request, as the engine gives it and the store, the history and the
// metrics take it.
struct ProbeResult
{
    // The history keeps these numbers in its files: never renumber them. Present: the host
    // answered ARP on the local link but not the echo request.
    enum Kind { Reply = 0, Timeout = 1, SocketError = 2, Present = 3 };

    Kind kind = Timeout;
    // The round trip, measured on the monotonic clock; 0 unless kind is Reply.
    std::int64_t roundTripUs = 0;
    // Why no reply came where the network said so, such as "host unreachable, from 10.0.0.1",
    // or why no probe could be sent ("name not found"); empty otherwise.
    QString reason = {};
    // The sender hardware address of the ARP reply that answered an ArpOnly request, its six
    // octets in the low 48 bits (the first octet highest); 0 where no ARP reply answered.
    std::uint64_t hardwareAddress = 0;

    // A router's (or the host's own) ICMP error that answered the request in place of a reply:
    // "time exceeded" where its hop limit ran out, "unreachable" where it could go no further.
    struct ErrorAnswer
    {
        QString from; // the sender's address; empty where there was no such answer
        std::int64_t roundTripUs = 0;
        std::uint8_t type = 0; // ICMP or ICMPv6, by the address
        std::uint8_t code = 0;
        // Whether only the request's hop limit ran out at the sender.
        bool hopLimitExceeded = false;

        bool operator==(const ErrorAnswer& other) const = default;
    };
    ErrorAnswer errorAnswer = {};

    static ProbeResult reply(std::chrono::microseconds roundTrip) { return {Reply, roundTrip.count()}; }
    static ProbeResult timeout() { return {Timeout, 0}; }
    static ProbeResult socketError() { return {SocketError, 0}; }
    // No probe could be sent, for that reason.
    static ProbeResult notSent(QString why) { return {SocketError, 0, std::move(why)}; }
    // The device's name did not resolve, for the resolver's reason ("name not found").
    static ProbeResult unresolved(QString why) { return notSent(std::move(why)); }

    bool answered() const { return kind == Reply; }
    // Whether the host showed itself: it answered the echo request, or ARP on the local link
    // (a host whose firewall drops echo requests is there all the same).
    bool heard() const { return kind == Reply || kind == Present; }
    // What the result text leaves out, for a tooltip: the network's reason why no reply came,
    // or that the host answered ARP alone.
    QString explanation() const
    {
        return kind == Present ? QStringLiteral(
                   QT_TRANSLATE_NOOP("Phrases", "Present, no echo reply: the host answers ARP on the local link"))
                               : reason;
    }
    // The round trip in whole milliseconds, as the program shows it; 0 unless answered.
    std::int64_t roundTripMs() const { return roundTripUs / 1000; }
    // The outcome as one number: whole milliseconds of round trip, PingNoReply or PingSocketError.
    int code() const
    {
        switch (kind) {
        case Reply:
            return int(roundTripMs());
        case Timeout:
        case Present:
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
