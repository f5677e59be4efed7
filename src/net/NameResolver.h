// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace Tarnwick {

// Turns the address text of a device into an IPv4 address without ever holding anybody up:
// dotted text at once, a name from a short-lived cache or from a look-up that runs on a thread
// of its own. A name server that never answers costs the waiting caller at most its bound;
// the look-up goes on and fills the cache for the next time.
class NameResolver
{
public:
    using Address = std::optional<std::uint32_t>; // network byte order; none when unresolved
    using Done = std::function<void(Address address)>;

    static constexpr std::chrono::seconds RememberFound{60};
    static constexpr std::chrono::seconds RememberFailed{10};

    // The one resolver of the process; it lives as long as the process.
    static NameResolver& instance();

    // The address of dotted IPv4 text, or none for any other text.
    static Address numeric(const QString& host);

    // Calls done exactly once: at once for dotted text and cached names, otherwise when the
    // look-up ends or maxWaitMs have passed (with none), on the resolver's threads.
    void resolve(const QString& host, int maxWaitMs, Done done);

private:
    using Clock = std::chrono::steady_clock;

    struct Waiter
    {
        std::uint64_t id;
        Clock::time_point deadline;
        Done done;
    };
    struct CacheEntry
    {
        Address address;
        Clock::time_point until;
    };

    NameResolver();
    void lookUp(const std::string& name);
    void watchDeadlines();

    std::mutex m_mutex;
    std::condition_variable m_deadlineChanged;
    std::unordered_map<std::string, CacheEntry> m_cache;
    // Waiters by the name they wait for.
    std::unordered_map<std::string, std::vector<Waiter>> m_waiting;
    // Names being looked up: one look-up at a time per name, however many wait or gave up.
    std::unordered_set<std::string> m_running;
    std::multimap<Clock::time_point, std::pair<std::string, std::uint64_t>> m_deadlines;
    std::uint64_t m_nextWaiter = 0;
};

} // namespace Tarnwick
