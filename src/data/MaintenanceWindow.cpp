// SPDX-License-Identifier: GPL-3.0-or-later
#include "MaintenanceWindow.h"

#include "PhraseBook.h"

#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <array>

namespace Tarnwick {

namespace {

bool onDay(int days, const QDate& date)
{
    return days & (1 << (date.dayOfWeek() - 1));
}

} // namespace

QString MaintenanceWindow::dayName(int dayOfWeek)
{
    static const std::array<const char*, 7> names{"Monday", "Tuesday",  "Wednesday", "Thursday",
                                                  "Friday", "Saturday", "Sunday"};
    return QString::fromLatin1(names.at(std::size_t(dayOfWeek - 1)));
}

int MaintenanceWindow::dayOfWeek(const QString& name, Qt::CaseSensitivity sensitivity)
{
    for (int day = 1; day <= 7; ++day) {
        if (name.compare(dayName(day), sensitivity) == 0)
            return day;
    }
    return 0;
}

bool MaintenanceWindow::covers(const QDateTime& at) const
{
    if (repeat == Repeat::Once)
        return from.isValid() && to.isValid() && from <= at && at < to;
    if (!start.isValid() || !end.isValid() || start == end || !at.isValid())
        return false;
    // Weekly windows follow the wall clock of this computer, as the user set them.
    const QDateTime local = at.toLocalTime();
    const QDate day = local.date();
    const QTime time = local.time();
    if (start < end)
        return onDay(days, day) && time >= start && time < end;
    return (onDay(days, day) && time >= start) || (onDay(days, day.addDays(-1)) && time < end);
}

QDateTime MaintenanceWindow::nextChangeAfter(const QDateTime& at) const
{
    if (!problem().isEmpty() || !at.isValid())
        return {};
    if (repeat == Repeat::Once) {
        if (at < from)
            return from;
        return at < to ? to : QDateTime();
    }
    // Every start and end from the day before to a week on, in order; the first that flips
    // covers() is the change (a start right at another day's end changes nothing).
    QList<QDateTime> edges;
    const QDate today = at.toLocalTime().date();
    for (QDate day = today.addDays(-1); day <= today.addDays(8); day = day.addDays(1)) {
        if (!onDay(days, day))
            continue;
        edges << QDateTime(day, start) << QDateTime(end < start ? day.addDays(1) : day, end);
    }
    std::sort(edges.begin(), edges.end());
    const bool coveredNow = covers(at);
    const auto change = std::find_if(edges.cbegin(), edges.cend(),
                                     [&](const QDateTime& edge) { return edge > at && covers(edge) != coveredNow; });
    return change == edges.cend() ? QDateTime() : *change;
}

QString MaintenanceWindow::problem() const
{
    if (repeat == Repeat::Once) {
        if (!from.isValid() || !to.isValid())
            return QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "The window needs a start and an end."));
        if (to <= from)
            return QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "The end must be after the start."));
        return {};
    }
    if ((days & EveryDay) == 0 || (days & ~EveryDay) != 0)
        return QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "Choose at least one day of the week."));
    if (!start.isValid() || !end.isValid())
        return QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "The window needs a start and an end time."));
    if (start == end)
        return QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "The start and the end time must differ."));
    return {};
}

QString MaintenanceWindow::problemAt(const QDateTime& now) const
{
    if (const QString why = problem(); !why.isEmpty())
        return why;
    if (repeat == Repeat::Once && to <= now)
        return QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "The window is over already."));
    return {};
}

QString MaintenanceWindow::text(const QLocale& dates) const
{
    if (repeat == Repeat::Once) {
        const QString format = QStringLiteral("d MMM yyyy HH:mm");
        return PhraseBook::english(
            PhraseBook::OnceWindow,
            {dates.toString(from.toLocalTime(), format), dates.toString(to.toLocalTime(), format)});
    }
    // Each day a part of its own, so that each is translated: the template goes by their number.
    static const std::array<const char*, 7> everyWeek{
        QT_TRANSLATE_NOOP("Phrases", "Mondays"),    QT_TRANSLATE_NOOP("Phrases", "Tuesdays"),
        QT_TRANSLATE_NOOP("Phrases", "Wednesdays"), QT_TRANSLATE_NOOP("Phrases", "Thursdays"),
        QT_TRANSLATE_NOOP("Phrases", "Fridays"),    QT_TRANSLATE_NOOP("Phrases", "Saturdays"),
        QT_TRANSLATE_NOOP("Phrases", "Sundays")};
    QStringList parts;
    if ((days & EveryDay) == EveryDay) {
        parts << QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "Every day"));
    } else {
        for (int day = 1; day <= 7; ++day) {
            if (days & (1 << (day - 1)))
                parts << QString::fromLatin1(everyWeek.at(std::size_t(day - 1)));
        }
    }
    // A window without days (which problem() refuses) reads as one with an empty day.
    const qsizetype named = std::max<qsizetype>(parts.size(), 1);
    parts.resize(named);
    parts << start.toString(QStringLiteral("HH:mm")) << end.toString(QStringLiteral("HH:mm"));
    return PhraseBook::english(PhraseBook::WeeklyWindows[named - 1], parts);
}

} // namespace Tarnwick
