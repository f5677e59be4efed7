// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "UserList.h"

#include <QHash>
#include <QString>

namespace Tarnwick {

// The figures the list's statistics columns show, asked of the source when a row is painted
// or sorted and kept until the next refresh: a refresh then costs the rows on screen only,
// however long the list is.
class UserListStatistics
{
public:
    explicit UserListStatistics(UserList::StatisticsSource source);

    // Forgets the figures asked so far; "Since" counts up to nowMs (UTC).
    void refresh(qint64 nowMs);
    qint64 nowMs() const { return m_nowMs; }
    // Empty figures when there is no source.
    const UserList::RowStatistics& of(const QString& ip) const;

private:
    const UserList::StatisticsSource m_source;
    mutable QHash<QString, UserList::RowStatistics> m_known;
    qint64 m_nowMs;
};

} // namespace Tarnwick
