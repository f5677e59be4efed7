// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "IpAddress.h"
#include "data/ProbeResult.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <unordered_map>
#include <vector>

namespace Tarnwick {

// The echo requests (ICMP and ICMPv6) that wait for their replies, by sequence number. No two outstanding
// requests share a sequence number, however long the 16-bit numbers have been wrapping, so
// that every reply finds its own request.
class OutstandingTable
{
public:
    struct Request
    {
        std::uint32_t address = 0; // where it went, network byte order
        std::int64_t sentNs = 0;
        std::int64_t deadlineNs = 0;
        ProbeCompletion done;
        bool answeredArp = false; // the host answered ARP first: silence means present
        // The send by the wall clock, which the kernel's receive time stamps go by.
        std::int64_t sentRealNs = 0;
        // Where an ICMPv6 request went (address is then 0).
        std::optional<IpAddress> ipv6 = std::nullopt;
        // Who asked (the engine's client), and the longest it may wait.
        std::uint64_t client = 0;
        int timeoutMs = 0;
    };

    // A sequence number no outstanding request uses, the one after the last handed out where
    // it is free; none while all 65,536 are in use.
    std::optional<std::uint16_t> nextFreeSequence();
    void insert(std::uint16_t sequence, Request request);
    const Request* find(std::uint16_t sequence) const;
    Request take(std::uint16_t sequence);
    // The requests whose deadline has come, taken out, earliest first.
    std::vector<Request> takeExpired(std::int64_t nowNs);
    std::optional<std::int64_t> nextDeadline() const;
    // Gives every request the deadline deadlineOf says for it.
    void reschedule(const std::function<std::int64_t(const Request&)>& deadlineOf);
    std::size_t size() const { return m_bySequence.size(); }

private:
    std::unordered_map<std::uint16_t, Request> m_bySequence;
    std::multimap<std::int64_t, std::uint16_t> m_byDeadline;
    std::uint16_t m_next = 0;
};

} // namespace Tarnwick
