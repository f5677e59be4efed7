// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "IpAddress.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

class QThreadPool;

namespace Tarnwick {

// Turns the address text of a device into an IPv4 or IPv6 address without ever holding anybody
// up: numeric text at once, a name from a short-lived cache or from a look-up on one of a few threads
// of its own. A name server that never answers costs the waiting caller at most its bound; the
// look-up goes on and fills the cache for the next time. However many names hang, they hold at
// most Workers threads, and at most MaxQueued names wait for one; a name beyond that is not
// looked up this time, and its callers are answered at their bound.
class NameResolver
{
public:
    using Address = std::optional<IpAddress>; // none when unresolved
    // What a look-up came to: the address, or why there is none ("name not found").
    struct Outcome
    {
        Outcome(Address found = {}, QString why = {})
            : address(found)
            , failure(std::move(why))
        {
        }
        Address address;
        // Empty when resolved, and when the resolver stopped.
        QString failure;
    };
    using Done = std::function<void(const Outcome& outcome)>;
    // Resolves one name, blocking; the system's resolver unless a test stands in for it, which
    // takes the name's IPv4 address, or its IPv6 address where it has none.
    using LookUp = std::function<Outcome(const std::string& name)>;

    // Why a waiter got no address: the look-up outlasted its bound.
    static QString noAnswerInTime();

    static constexpr std::chrono::seconds RememberFound{60};
    static constexpr std::chrono::seconds RememberFailed{10};
    static constexpr int Workers = 4;
    static constexpr int MaxQueued = 64;

    explicit NameResolver(LookUp lookUp = {});
    ~NameResolver();
    NameResolver(const NameResolver&) = delete;
    NameResolver& operator=(const NameResolver&) = delete;

    // The address of numeric text (IpAddress::parse), or none for any other text.
    static Address numeric(const QString& host);

    // Calls done exactly once: at once for numeric text and cached names, otherwise when the
    // look-up ends or maxWaitMs have passed (with none), on the resolver's threads. Once stopped,
    // at once with none for anything but numeric text.
    void resolve(const QString& host, int maxWaitMs, Done done);

    // Answers every waiting caller with none, drops the names waiting for a thread and ends the
    // threads; a look-up that a name server holds up is not waited for and ends alone.
    void stop();

private:
    struct State;

    static void lookUpOnPool(const std::shared_ptr<State>& state, const std::string& name);
    void watchDeadlines();

    std::shared_ptr<State> m_state;
    // Owned, but let go at stop while a look-up hangs in it: its threads end with that look-up.
    std::unique_ptr<QThreadPool> m_pool;
    // Started with the first name to wait for, so that a process may give up its privileges
    // after making its resolver and no thread of this keeps them.
    std::once_flag m_watcherStarted;
    std::thread m_watcher;
};

} // namespace Tarnwick
