// SPDX-License-Identifier: GPL-3.0-or-later
#include "NameResolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <thread>

namespace Tarnwick {

NameResolver& NameResolver::instance()
{
    // Never destroyed: look-ups that hang in the system's resolver may outlive everything else.
    static NameResolver* resolver = new NameResolver;
    return *resolver;
}

NameResolver::NameResolver()
{
    std::thread([this] { watchDeadlines(); }).detach();
}

NameResolver::Address NameResolver::numeric(const QString& host)
{
    in_addr address{};
    // Only the four-part dotted form: "10.1" or "0x7f.1" are not addresses a user types.
    if (::inet_pton(AF_INET, host.toLatin1().constData(), &address) != 1)
        return std::nullopt;
    return address.s_addr;
}

void NameResolver::resolve(const QString& host, int maxWaitMs, Done done)
{
    if (const Address address = numeric(host)) {
        done(address);
        return;
    }
    const std::string name = host.toStdString();
    const Clock::time_point now = Clock::now();
    std::unique_lock lock(m_mutex);
    const auto cached = m_cache.find(name);
    if (cached != m_cache.end() && cached->second.until > now) {
        const Address address = cached->second.address;
        lock.unlock();
        done(address);
        return;
    }
    auto& waiters = m_waiting[name];
    const bool lookUpRunning = !m_running.insert(name).second;
    const std::uint64_t id = m_nextWaiter++;
    const Clock::time_point deadline = now + std::chrono::milliseconds(std::max(0, maxWaitMs));
    waiters.push_back({id, deadline, std::move(done)});
    m_deadlines.emplace(deadline, std::make_pair(name, id));
    m_deadlineChanged.notify_one();
    if (!lookUpRunning)
        std::thread([this, name] { lookUp(name); }).detach();
}

void NameResolver::lookUp(const std::string& name)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_RAW;
    addrinfo* result = nullptr;
    Address address;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &result) == 0 && result) {
        address = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr.s_addr;
        ::freeaddrinfo(result);
    }

    std::vector<Waiter> waiters;
    {
        std::lock_guard lock(m_mutex);
        m_cache[name] = {address, Clock::now() + (address ? RememberFound : RememberFailed)};
        m_running.erase(name);
        const auto it = m_waiting.find(name);
        if (it != m_waiting.end()) {
            waiters = std::move(it->second);
            m_waiting.erase(it);
        }
        for (const Waiter& waiter : waiters) {
            auto [first, last] = m_deadlines.equal_range(waiter.deadline);
            for (auto d = first; d != last; ++d) {
                if (d->second.second == waiter.id) {
                    m_deadlines.erase(d);
                    break;
                }
            }
        }
    }
    for (Waiter& waiter : waiters)
        waiter.done(address);
}

void NameResolver::watchDeadlines()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_deadlines.empty()) {
            m_deadlineChanged.wait(lock);
            continue;
        }
        const auto [deadline, key] = *m_deadlines.begin();
        if (Clock::now() < deadline) {
            m_deadlineChanged.wait_until(lock, deadline);
            continue;
        }
        m_deadlines.erase(m_deadlines.begin());
        // Given up on: the look-up goes on without this waiter, and remains the name's.
        std::vector<Waiter>& waiters = m_waiting[key.first];
        Done done;
        for (auto w = waiters.begin(); w != waiters.end(); ++w) {
            if (w->id == key.second) {
                done = std::move(w->done);
                waiters.erase(w);
                break;
            }
        }
        lock.unlock();
        if (done)
            done(std::nullopt);
        lock.lock();
    }
}

} // namespace Tarnwick
