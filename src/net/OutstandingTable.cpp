// SPDX-License-Identifier: GPL-3.0-or-later
#include "OutstandingTable.h"

namespace Tarnwick {

std::optional<std::uint16_t> OutstandingTable::nextFreeSequence()
{
    if (m_bySequence.size() >= 65536)
        return std::nullopt;
    while (m_bySequence.count(m_next))
        ++m_next;
    return m_next++;
}

void OutstandingTable::insert(std::uint16_t sequence, Request request)
{
    m_byDeadline.emplace(request.deadlineNs, sequence);
    m_bySequence.insert_or_assign(sequence, std::move(request));
}

const OutstandingTable::Request* OutstandingTable::find(std::uint16_t sequence) const
{
    const auto it = m_bySequence.find(sequence);
    return it == m_bySequence.end() ? nullptr : &it->second;
}

OutstandingTable::Request OutstandingTable::take(std::uint16_t sequence)
{
    auto it = m_bySequence.find(sequence);
    Request request = std::move(it->second);
    m_bySequence.erase(it);
    auto [first, last] = m_byDeadline.equal_range(request.deadlineNs);
    for (auto d = first; d != last; ++d) {
        if (d->second == sequence) {
            m_byDeadline.erase(d);
            break;
        }
    }
    return request;
}

std::vector<OutstandingTable::Request> OutstandingTable::takeExpired(std::int64_t nowNs)
{
    std::vector<Request> expired;
    while (!m_byDeadline.empty() && m_byDeadline.begin()->first <= nowNs) {
        const std::uint16_t sequence = m_byDeadline.begin()->second;
        m_byDeadline.erase(m_byDeadline.begin());
        auto it = m_bySequence.find(sequence);
        expired.push_back(std::move(it->second));
        m_bySequence.erase(it);
    }
    return expired;
}

std::optional<std::int64_t> OutstandingTable::nextDeadline() const
{
    if (m_byDeadline.empty())
        return std::nullopt;
    return m_byDeadline.begin()->first;
}

void OutstandingTable::reschedule(const std::function<std::int64_t(const Request&)>& deadlineOf)
{
    m_byDeadline.clear();
    for (auto& [sequence, request] : m_bySequence) {
        request.deadlineNs = deadlineOf(request);
        m_byDeadline.emplace(request.deadlineNs, sequence);
    }
}

} // namespace Tarnwick
