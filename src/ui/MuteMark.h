// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QDateTime>
#include <QIcon>
#include <QString>

#include <optional>

namespace Tarnwick {

// The list's mark of a device whose alerts are muted: a bell struck through, and its tooltip.
class MuteMark
{
    Q_DECLARE_TR_FUNCTIONS(MuteMark)

public:
    static QIcon icon();
    // "Alerts muted until 22:15" (the day too when it is not today's), "Alerts muted until
    // unmuted" for an invalid time; empty when not muted.
    static QString toolTip(const std::optional<QDateTime>& heardAgainAt, const QDateTime& now);
};

} // namespace Tarnwick
