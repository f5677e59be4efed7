// SPDX-License-Identifier: GPL-3.0-or-later
#include "NameResolver.h"

#include <QThreadPool>

#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace Tarnwick {

namespace {

using Clock = std::chrono::steady_clock;

// The resolver's reason as the program shows it after "Last probe:".
QString failureOf(int error)
{
    if (error == EAI_NONAME || error == EAI_NODATA)
        return QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "name not found"));
    // The system's resolver gave up on the name server: the same as giving up on it ourselves,
    // one reason whichever bound came first.
    if (error == EAI_AGAIN)
        return NameResolver::noAnswerInTime();
    QString said = QString::fromLocal8Bit(::gai_strerror(error));
    if (!said.isEmpty())
        said[0] = said[0].toLower();
    return said;
}

NameResolver::Outcome lookUpIn(const std::string& name, int family)
{
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_RAW;
    addrinfo* result = nullptr;
    NameResolver::Address address;
    const int error = ::getaddrinfo(name.c_str(), nullptr, &hints, &result);
    if (error != 0)
        return {std::nullopt, failureOf(error)};
    if (result) {
        if (family == AF_INET) {
            address = IpAddress::ipv4(reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr.s_addr);
        } else {
            const auto* v6 = reinterpret_cast<const sockaddr_in6*>(result->ai_addr);
            IpAddress::Ipv6Bytes bytes;
            std::memcpy(bytes.data(), &v6->sin6_addr, bytes.size());
            address = IpAddress::ipv6(bytes, v6->sin6_scope_id);
        }
        ::freeaddrinfo(result);
    }
    if (!address)
        return {std::nullopt, failureOf(EAI_NONAME)};
    return address;
}

// The name's A answer; its AAAA answer where it has none. Of two failures, the one that says
// more than "not found" (a name server that fails) is the reason.
NameResolver::Outcome systemLookUp(const std::string& name)
{
    NameResolver::Outcome v4 = lookUpIn(name, AF_INET);
    if (v4.address)
        return v4;
    NameResolver::Outcome v6 = lookUpIn(name, AF_INET6);
    if (!v6.address && v4.failure != failureOf(EAI_NONAME))
        v6.failure = v4.failure;
    return v6;
}

} // namespace

// Shared with the look-ups, which may end after the resolver has gone.
struct NameResolver::State
{
    struct Waiter
    {
        std::uint64_t id;
        Clock::time_point deadline;
        Done done;
    };
    struct CacheEntry
    {
        Outcome outcome;
        Clock::time_point until;
    };

    LookUp lookUp;
    std::mutex mutex;
    std::condition_variable deadlineChanged;
    std::unordered_map<std::string, CacheEntry> cache;
    // Waiters by the name they wait for.
    std::unordered_map<std::string, std::vector<Waiter>> waiting;
    // Names looked up or queued for it: one look-up at a time per name, however many wait.
    std::unordered_set<std::string> running;
    std::multimap<Clock::time_point, std::pair<std::string, std::uint64_t>> deadlines;
    std::uint64_t nextWaiter = 0;
    int queued = 0;
    bool stopped = false;
};

NameResolver::NameResolver(LookUp lookUp)
    : m_state(std::make_shared<State>())
    , m_pool(std::make_unique<QThreadPool>())
{
    m_state->lookUp = lookUp ? std::move(lookUp) : LookUp(systemLookUp);
    m_pool->setMaxThreadCount(Workers);
}

NameResolver::~NameResolver()
{
    stop();
}

NameResolver::Address NameResolver::numeric(const QString& host)
{
    return IpAddress::parse(host);
}

QString NameResolver::noAnswerInTime()
{
    return QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "no answer from the name server in time"));
}

void NameResolver::resolve(const QString& host, int maxWaitMs, Done done)
{
    if (const Address address = numeric(host)) {
        done(Outcome(address));
        return;
    }
    const std::string name = host.toStdString();
    const Clock::time_point now = Clock::now();
    State& s = *m_state;
    std::unique_lock lock(s.mutex);
    const auto cached = s.cache.find(name);
    if (s.stopped || (cached != s.cache.end() && cached->second.until > now)) {
        const Outcome outcome = s.stopped ? Outcome() : cached->second.outcome;
        lock.unlock();
        done(outcome);
        return;
    }
    // Under the lock and not stopped: a stop either comes first or finds the thread to join.
    std::call_once(m_watcherStarted, [this] { m_watcher = std::thread([this] { watchDeadlines(); }); });
    const std::uint64_t id = s.nextWaiter++;
    const Clock::time_point deadline = now + std::chrono::milliseconds(std::max(0, maxWaitMs));
    s.waiting[name].push_back({id, deadline, std::move(done)});
    s.deadlines.emplace(deadline, std::make_pair(name, id));
    s.deadlineChanged.notify_one();
    if (s.running.count(name) || s.queued >= MaxQueued)
        return;
    s.running.insert(name);
    ++s.queued;
    m_pool->start([state = m_state, name] { lookUpOnPool(state, name); });
}

void NameResolver::lookUpOnPool(const std::shared_ptr<State>& state, const std::string& name)
{
    {
        std::lock_guard lock(state->mutex);
        --state->queued;
        if (state->stopped)
            return;
    }
    const Outcome outcome = state->lookUp(name);

    std::vector<State::Waiter> waiters;
    {
        std::lock_guard lock(state->mutex);
        state->cache[name] = {outcome, Clock::now() + (outcome.address ? RememberFound : RememberFailed)};
        state->running.erase(name);
        const auto it = state->waiting.find(name);
        if (it != state->waiting.end()) {
            waiters = std::move(it->second);
            state->waiting.erase(it);
        }
        for (const State::Waiter& waiter : waiters) {
            auto [first, last] = state->deadlines.equal_range(waiter.deadline);
            for (auto d = first; d != last; ++d) {
                if (d->second.second == waiter.id) {
                    state->deadlines.erase(d);
                    break;
                }
            }
        }
    }
    for (State::Waiter& waiter : waiters)
        waiter.done(outcome);
}

void NameResolver::watchDeadlines()
{
    State& s = *m_state;
    std::unique_lock lock(s.mutex);
    while (!s.stopped) {
        if (s.deadlines.empty()) {
            s.deadlineChanged.wait(lock);
            continue;
        }
        const auto [deadline, key] = *s.deadlines.begin();
        if (Clock::now() < deadline) {
            s.deadlineChanged.wait_until(lock, deadline);
            continue;
        }
        s.deadlines.erase(s.deadlines.begin());
        // Given up on: the look-up goes on without this waiter, and remains the name's.
        std::vector<State::Waiter>& waiters = s.waiting[key.first];
        Done done;
        for (auto w = waiters.begin(); w != waiters.end(); ++w) {
            if (w->id == key.second) {
                done = std::move(w->done);
                waiters.erase(w);
                break;
            }
        }
        if (waiters.empty())
            s.waiting.erase(key.first);
        lock.unlock();
        if (done)
            done(Outcome(std::nullopt, noAnswerInTime()));
        lock.lock();
    }
}

void NameResolver::stop()
{
    std::vector<Done> abandoned;
    {
        std::lock_guard lock(m_state->mutex);
        if (m_state->stopped)
            return;
        m_state->stopped = true;
        for (auto& [name, waiters] : m_state->waiting) {
            for (State::Waiter& waiter : waiters)
                abandoned.push_back(std::move(waiter.done));
        }
        m_state->waiting.clear();
        m_state->deadlines.clear();
    }
    m_state->deadlineChanged.notify_all();
    if (m_watcher.joinable())
        m_watcher.join();
    m_pool->clear();
    for (Done& done : abandoned)
        done(Outcome());
    // Idle threads are joined here; a thread in a look-up that a name server holds up is not
    // waited for: the pool is let go and its thread ends when the look-up does.
    if (!m_pool->waitForDone(0))
        (void)m_pool.release();
}

} // namespace Tarnwick
