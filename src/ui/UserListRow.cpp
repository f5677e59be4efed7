// SPDX-License-Identifier: GPL-3.0-or-later
#include "UserListRow.h"

#include "data/DeviceAddress.h"

#include <QStringList>

#include <optional>

namespace Tarnwick {

UserListRow::UserListRow(qint64 sequence)
    : m_sequence(sequence)
{
}

std::optional<double> UserListRow::numberFor(int column) const
{
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
        m_address = DeviceAddress::ipv4Number(shown);
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
    // What is shown is whole milliseconds; rows that show the same number keep their order.
    m_roundTripMs = result.answered() ? std::optional<double>(double(result.roundTripMs())) : std::nullopt;
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
        const qint64 mine = m_address;
        const qint64 theirs = row->m_address;
        // Addresses by their number, before host names, which go by their text.
        if (mine >= 0 && theirs >= 0)
            return mine != theirs ? mine < theirs : tieBreak();
        if ((mine >= 0) != (theirs >= 0))
            return mine >= 0;
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
