// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QTime>

namespace Tarnwick {

// A time when a device, or every device, is under maintenance: once, from one moment to
// another, or every week on the chosen days between two local times. The device is probed,
// logged and recorded as ever; only its alerts wait for the window's end.
struct MaintenanceWindow
{
    enum class Repeat { Once, Weekly };

    // Given by MaintenanceList::add when empty; kept in the file, so that it stays the same.
    QString id;
    // The device's address as in the list; empty: every device.
    QString ip;
    Repeat repeat = Repeat::Once;
    // Once: the window is [from, to).
    QDateTime from, to;
    // Weekly: bit (Qt dayOfWeek - 1), Monday = 1 << 0 ... Sunday = 1 << 6.
    int days = 0;
    // Weekly, local time to the minute; an end before the start runs past midnight into the
    // next day.
    QTime start, end;

    static constexpr int EveryDay = 0x7f;
    // "Monday" ... "Sunday", by Qt's day of the week (1 to 7): the names the file and the API use.
    static QString dayName(int dayOfWeek);
    // The day of the week (1 to 7) a name stands for; 0 for none.
    static int dayOfWeek(const QString& name, Qt::CaseSensitivity sensitivity);

    bool covers(const QDateTime& at) const;
    // The next moment after at when covers() flips; invalid: never.
    QDateTime nextChangeAfter(const QDateTime& at) const;
    // Why the window cannot be used, as the Maintenance dialog says it; empty when it can.
    QString problem() const;
    // The same, and for a window that would be over as it is added (a once window that has
    // ended by now).
    QString problemAt(const QDateTime& now) const;
    // For people: "Sundays 02:00–04:00", "Mondays, Fridays 22:00–06:00",
    // "10 Dec 2026 02:00 – 10 Dec 2026 04:00" (local time), in English but for the dates, which
    // are in the words of the locale given (the desktop passes its own and shows the text
    // through PhraseBook::translate).
    QString text(const QLocale& dates = QLocale::c()) const;

    bool operator==(const MaintenanceWindow&) const = default;
};

} // namespace Tarnwick
