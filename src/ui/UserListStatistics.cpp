// SPDX-License-Identifier: GPL-3.0-or-later
#include "UserListStatistics.h"

#include <QDateTime>

namespace Tarnwick {

UserListStatistics::UserListStatistics(UserList::StatisticsSource source)
    : m_source(std::move(source))
    , m_nowMs(QDateTime::currentMSecsSinceEpoch())
{
}

void UserListStatistics::refresh(qint64 nowMs)
{
    m_known.clear();
    m_nowMs = nowMs;
}

const UserList::RowStatistics& UserListStatistics::of(const QString& ip) const
{
    auto it = m_known.find(ip);
    if (it == m_known.end())
        it = m_known.insert(ip, m_source ? m_source(ip) : UserList::RowStatistics());
    return *it;
}

} // namespace Tarnwick
