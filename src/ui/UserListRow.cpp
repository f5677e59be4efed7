// SPDX-License-Identifier: GPL-3.0-or-later
#include "UserListRow.h"

#include "UserListStatistics.h"
#include "data/DeviceAddress.h"
#include "data/DeviceStateWords.h"
#include "data/DeviceTypeName.h"

#include <QDateTime>
#include <QStringList>

#include <algorithm>
#include <optional>

namespace Tarnwick {

namespace {

// "42 s", "5 min", "3 h 12 min", "2 d 4 h".
QString durationText(qint64 ms)
{
    const qint64 seconds = std::max<qint64>(0, ms / 1000);
    if (seconds < 60)
        //: A duration in the column "Since": seconds
        return QCoreApplication::translate("UserListRow", "%1 s").arg(seconds);
    const qint64 minutes = seconds / 60;
    if (minutes < 60)
        //: A duration in the column "Since": minutes
        return QCoreApplication::translate("UserListRow", "%1 min").arg(minutes);
    const qint64 hours = minutes / 60;
    if (hours < 24)
        //: A duration in the column "Since": hours and minutes
        return QCoreApplication::translate("UserListRow", "%1 h %2 min").arg(hours).arg(minutes % 60);
    //: A duration in the column "Since": days and hours
    return QCoreApplication::translate("UserListRow", "%1 d %2 h").arg(hours / 24).arg(hours % 24);
}

// The value in its unit's text ("%1 ms"), or "-" while nothing is known.
QString valueText(const std::optional<double>& value, const QString& withUnit, int decimals)
{
    return value ? withUnit.arg(*value, 0, 'f', decimals) : QStringLiteral("-");
}

// The figure a statistics column other than "Since" shows.
std::optional<double> figureOf(const UserList::RowStatistics& statistics, int column)
{
    switch (column) {
    case UserListRow::LossColumn:
        return statistics.lossPercent;
    case UserListRow::AverageColumn:
        return statistics.averageMs;
    case UserListRow::JitterColumn:
        return statistics.jitterMs;
    case UserListRow::MedianColumn:
        return statistics.medianMs;
    case UserListRow::Percentile95Column:
        return statistics.percentile95Ms;
    case UserListRow::DayMedianColumn:
        return statistics.dayMedianMs;
    case UserListRow::DayPercentile95Column:
        return statistics.dayPercentile95Ms;
    default:
        return std::nullopt;
    }
}

} // namespace

UserListRow::UserListRow(qint64 sequence)
    : m_sequence(sequence)
{
    // Told that it never has rows of its own, the tree skips asking each row about them every
    // time it lays out tens of thousands.
    setFlags(flags() | Qt::ItemNeverHasChildren);
}

QString UserListRow::timeText(const QDateTime& time)
{
    return time.isValid() ? time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) : QString();
}

bool UserListRow::isStatisticsColumn(int column) const
{
    return m_statistics && column >= LossColumn && column < ColumnCount;
}

QString UserListRow::accessibleText(int column) const
{
    switch (column) {
    case StateColumn: {
        using State = DeviceStateWords::State;
        const State state = m_stateRank == NotProbed ? State::NotProbed
            : m_stateRank == Connected               ? State::Connected
                                                     : State::Disconnected;
        return DeviceStateWords::of(state, m_slow, QTreeWidgetItem::data(StateColumn, Qt::UserRole).toString());
    }
    case TypeColumn:
        return DeviceTypeName::shown(m_type);
    case DescriptionColumn:
    case InformColumn: {
        // The mark's tooltip says what it means: "Alerts muted until 22:15".
        const QString shown = text(column);
        const QString mark = toolTip(column);
        return mark.isEmpty() ? shown : shown.isEmpty() ? mark : QStringLiteral("%1; %2").arg(shown, mark);
    }
    default:
        return QTreeWidgetItem::data(column, Qt::DisplayRole).toString();
    }
}

QVariant UserListRow::data(int column, int role) const
{
    if (role == Qt::AccessibleTextRole && !isStatisticsColumn(column))
        return accessibleText(column);
    if (!isStatisticsColumn(column) || (role != Qt::DisplayRole && !(role == Qt::ToolTipRole && column == SinceColumn)))
        return QTreeWidgetItem::data(column, role);
    if (column == SinceColumn && role == Qt::DisplayRole)
        return durationText(m_statistics->nowMs() - m_sinceMs);
    const UserList::RowStatistics& statistics = m_statistics->of(m_ip);
    if (column == SinceColumn)
        return statistics.lastAnsweredMs
            //: %1: the date and time of the last answer
            ? tr("Last seen %1").arg(timeText(QDateTime::fromMSecsSinceEpoch(*statistics.lastAnsweredMs)))
            : tr("Not seen since Tarnwick started");
    //: The share of probes lost, in percent
    return column == LossColumn ? valueText(statistics.lossPercent, tr("%1 %"), 1)
                                //: A round trip in milliseconds
                                : valueText(figureOf(statistics, column), tr("%1 ms"), 2);
}

std::optional<double> UserListRow::numberFor(int column) const
{
    if (isStatisticsColumn(column) && column != SinceColumn)
        return figureOf(m_statistics->of(m_ip), column);
    switch (column) {
    case StateColumn:
        return double(m_stateRank);
    case TypeColumn:
        return double(m_type);
    case ResultColumn:
        return m_roundTripMs;
    case SinceColumn:
        // Longest in its state first when ascending: the earliest time.
        return double(m_sinceMs);
    default:
        return m_textNumbers[std::size_t(column)];
    }
}

void UserListRow::setData(int column, int role, const QVariant& value)
{
    QTreeWidgetItem::setData(column, role, value);
    if (role != Qt::DisplayRole || column < 0 || column >= ColumnCount)
        return;
    const QString shown = value.toString();
    if (column == AddressColumn) {
        m_ip = shown;
        m_address = DeviceAddress::sortKey(shown);
        return;
    }
    if (column == ResultColumn)
        return;
    // "12", "3.27 ms", "12.5 %"; "X" and "-" have no number and go last.
    const qsizetype space = shown.indexOf(QLatin1Char(' '));
    bool ok = false;
    const double number = QStringView(shown).left(space < 0 ? shown.size() : space).toDouble(&ok);
    m_textNumbers[std::size_t(column)] = ok ? std::optional<double>(number) : std::nullopt;
}

void UserListRow::setResult(const QString& text, const ProbeResult& result)
{
    // By the number shown (whole milliseconds, hundredths under one; the mark of further
    // checks after it, "12 +1", aside); rows that show the same number keep their order.
    bool shown = false;
    const double ms = text.section(QLatin1Char(' '), 0, 0).toDouble(&shown);
    m_roundTripMs = result.answered() && shown ? std::optional<double>(ms) : std::nullopt;
    setText(ResultColumn, text);
}

bool UserListRow::operator<(const QTreeWidgetItem& other) const
{
    const auto* row = dynamic_cast<const UserListRow*>(&other);
    const QTreeWidget* tree = treeWidget();
    const int column = tree ? tree->sortColumn() : -1;
    if (!row || column < 0)
        return row ? m_sequence < row->m_sequence : false;
    const auto tieBreak = [&] { return m_sequence < row->m_sequence; };
    if (column == AddressColumn) {
        const QByteArray& mine = m_address;
        const QByteArray& theirs = row->m_address;
        // Addresses by their number, before host names, which go by their text; the same
        // address on two links by the text of its interface.
        if (!mine.isEmpty() && !theirs.isEmpty() && mine != theirs)
            return mine < theirs;
        if (mine.isEmpty() != theirs.isEmpty())
            return !mine.isEmpty();
    } else if (column != DescriptionColumn && column != InformColumn) {
        const std::optional<double> mine = numberFor(column);
        const std::optional<double> theirs = row->numberFor(column);
        if (mine && theirs)
            return *mine != *theirs ? *mine < *theirs : tieBreak();
        if (mine.has_value() != theirs.has_value())
            return mine.has_value();
        return tieBreak();
    }
    const int order = text(column).localeAwareCompare(row->text(column));
    return order != 0 ? order < 0 : tieBreak();
}

} // namespace Tarnwick
