// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceListModel.h"

#include "MuteMark.h"
#include "UserListStatistics.h"
#include "data/DeviceStateWords.h"
#include "data/DeviceTypeName.h"
#include "skin/MaintenanceMark.h"
#include "skin/SkinResources.h"
#include "skin/SlowMark.h"

#include <QCoreApplication>

#include <algorithm>
#include <array>

namespace Tarnwick {

namespace {

// The list's texts keep the translation contexts they have always had ("Tarnwick::UserList",
// "UserListRow"), so that the translations stay valid.

// What a screen reader hears of a column's cells.
enum class Spoken {
    Shown, // the text shown
    StateWords, // the state in words
    TypeName, // the type's name
    WithMark, // the text, then what its mark's tooltip says
};

struct ColumnInfo
{
    const char* header;
    int width;
    DeviceListModel::SortKey sortKey;
    // Empty: the export has no such column.
    const char* csvHeader;
    Spoken spoken;
};

using Key = DeviceListModel::SortKey;

const std::array<ColumnInfo, DeviceListModel::ColumnCount> Columns{{
    //: Column header, one letter wide: the device's state picture
    {QT_TRANSLATE_NOOP("Tarnwick::UserList", "A"), 54, Key::Rank, "State", Spoken::StateWords},
    //: Column header, one letter wide: the device's type picture
    {QT_TRANSLATE_NOOP("Tarnwick::UserList", "T"), 24, Key::Type, "Type", Spoken::TypeName},
    //: Column header: the device's address
    {QT_TRANSLATE_NOOP("Tarnwick::UserList", "IP"), 100, Key::Address, "Address", Spoken::Shown},
    //: Column header: the last round trip, in milliseconds
    {QT_TRANSLATE_NOOP("Tarnwick::UserList", "[ms]"), 60, Key::RoundTrip, "Ping result (ms)", Spoken::Shown},
    //: Column header
    {QT_TRANSLATE_NOOP("Tarnwick::UserList", "Description"), 100, Key::Text, "Description", Spoken::WithMark},
    //: Column header: whether the device's state changes are announced
    {QT_TRANSLATE_NOOP("Tarnwick::UserList", "Information on state change"), 100, Key::Text,
     "Information on state change", Spoken::WithMark},
    //: Column header: the share of probes lost in the last hour
    {QT_TRANSLATE_NOOP("Tarnwick::UserList", "Loss"), 60, Key::Figure, "Loss (%)", Spoken::Shown},
    //: Column header: the average round trip of the last hour
    {QT_TRANSLATE_NOOP("Tarnwick::UserList", "Avg"), 70, Key::Figure, "Avg (ms)", Spoken::Shown},
    //: Column header: how much the round trips of the last hour vary
    {QT_TRANSLATE_NOOP("Tarnwick::UserList", "Jitter"), 70, Key::Figure, "Jitter (ms)", Spoken::Shown},
    //: Column header: how long the device has had its present state
    {QT_TRANSLATE_NOOP("Tarnwick::UserList", "Since"), 90, Key::Since, "Since (UTC)", Spoken::Shown},
    //: Column header: the median round trip of the last hour
    {QT_TRANSLATE_NOOP("Tarnwick::UserList", "Median"), 70, Key::Figure, "Median (ms)", Spoken::Shown},
    //: Column header: the 95th percentile of the round trips of the last hour
    {QT_TRANSLATE_NOOP("Tarnwick::UserList", "95 %"), 70, Key::Figure, "95 % (ms)", Spoken::Shown},
    //: Column header: the median round trip of the last day
    {QT_TRANSLATE_NOOP("Tarnwick::UserList", "Day median"), 80, Key::Figure, "Day median (ms)", Spoken::Shown},
    //: Column header: the 95th percentile of the round trips of the last day
    {QT_TRANSLATE_NOOP("Tarnwick::UserList", "Day 95 %"), 80, Key::Figure, "Day 95 % (ms)", Spoken::Shown},
}};

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
    case DeviceListModel::LossColumn:
        return statistics.lossPercent;
    case DeviceListModel::AverageColumn:
        return statistics.averageMs;
    case DeviceListModel::JitterColumn:
        return statistics.jitterMs;
    case DeviceListModel::MedianColumn:
        return statistics.medianMs;
    case DeviceListModel::Percentile95Column:
        return statistics.percentile95Ms;
    case DeviceListModel::DayMedianColumn:
        return statistics.dayMedianMs;
    case DeviceListModel::DayPercentile95Column:
        return statistics.dayPercentile95Ms;
    default:
        return std::nullopt;
    }
}

} // namespace

DeviceListModel::DeviceListModel(const UserListStatistics& statistics, QObject* parent)
    : QAbstractTableModel(parent)
    , m_statistics(statistics)
{
}

QString DeviceListModel::header(int column)
{
    return QCoreApplication::translate("Tarnwick::UserList", Columns.at(std::size_t(column)).header);
}

int DeviceListModel::defaultWidth(int column)
{
    return Columns.at(std::size_t(column)).width;
}

DeviceListModel::SortKey DeviceListModel::sortKey(int column)
{
    return Columns.at(std::size_t(column)).sortKey;
}

QString DeviceListModel::csvHeader(int column)
{
    return QString::fromLatin1(Columns.at(std::size_t(column)).csvHeader);
}

const char* DeviceListModel::yesNo(bool value)
{
    //: A cell of the column "Information on state change"
    const char* const yes = QT_TRANSLATE_NOOP("Tarnwick::UserList", "yes");
    //: A cell of the column "Information on state change"
    const char* const no = QT_TRANSLATE_NOOP("Tarnwick::UserList", "no");
    return value ? yes : no;
}

QString DeviceListModel::timeText(const QDateTime& time)
{
    return time.isValid() ? time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) : QString();
}

QModelIndex DeviceListModel::index(int row, int column, const QModelIndex& parent) const
{
    const bool inside = !parent.isValid() && row >= 0 && std::size_t(row) < m_rows.size() && column >= 0
        && column < ColumnCount;
    return inside ? createIndex(row, column) : QModelIndex();
}

int DeviceListModel::rowCount(const QModelIndex& parent) const
{
    // Rows have no rows of their own.
    return parent.isValid() ? 0 : int(m_rows.size());
}

int DeviceListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

Qt::ItemFlags DeviceListModel::flags(const QModelIndex& index) const
{
    // Told that a row never has rows of its own, the view asks no row about them as it lays out
    // tens of thousands.
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
}

QVariant DeviceListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return {};
    return header(section);
}

QIcon DeviceListModel::stateIcon(const Row& row) const
{
    if (row.statePicture.isEmpty())
        return {};
    const QIcon plain = SkinResources::icon(row.statePicture);
    if (row.rank == Connected && row.slow) {
        // Made once for every slow row, and again only for another skin's picture.
        if (m_slowFrom.cacheKey() != plain.cacheKey()) {
            m_slowFrom = plain;
            m_slowIcon = SlowMark::over(plain);
        }
        return m_slowIcon;
    }
    if (row.rank == Disconnected && !row.cutOffBehind.isEmpty()) {
        if (m_greyedFrom.cacheKey() != plain.cacheKey()) {
            m_greyedFrom = plain;
            m_greyedIcon = QIcon(plain.pixmap(16, QIcon::Disabled));
        }
        return m_greyedIcon;
    }
    return plain;
}

QString DeviceListModel::accessibleText(const QModelIndex& index) const
{
    const Row& row = m_rows[std::size_t(index.row())];
    const int column = index.column();
    switch (Columns.at(std::size_t(column)).spoken) {
    case Spoken::StateWords: {
        using State = DeviceStateWords::State;
        const State state = row.rank == NotProbed ? State::NotProbed
            : row.rank == Connected               ? State::Connected
                                                  : State::Disconnected;
        return DeviceStateWords::of(state, row.slow, row.cutOffBehind);
    }
    case Spoken::TypeName:
        return DeviceTypeName::shown(row.type);
    case Spoken::WithMark: {
        // The mark's tooltip says what it means: "Alerts muted until 22:15".
        const QString shown = column == DescriptionColumn
            ? row.description
            : QCoreApplication::translate("Tarnwick::UserList", yesNo(row.inform));
        const QString mark = column == DescriptionColumn ? row.muteToolTip : row.maintenanceToolTip;
        return mark.isEmpty() ? shown : shown.isEmpty() ? mark : QStringLiteral("%1; %2").arg(shown, mark);
    }
    case Spoken::Shown:
        break;
    }
    return data(index, Qt::DisplayRole).toString();
}

QString DeviceListModel::statisticsText(const Row& row, int column) const
{
    if (column == SinceColumn)
        return durationText(m_statistics.nowMs() - row.sinceMs);
    const UserList::RowStatistics& statistics = m_statistics.of(row.ip);
    //: The share of probes lost, in percent
    return column == LossColumn
        ? valueText(statistics.lossPercent, QCoreApplication::translate("UserListRow", "%1 %"), 1)
        //: A round trip in milliseconds
        : valueText(figureOf(statistics, column), QCoreApplication::translate("UserListRow", "%1 ms"), 2);
}

QVariant DeviceListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const Row& row = m_rows[std::size_t(index.row())];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case StateColumn:
        case TypeColumn:
            return {};
        case AddressColumn:
            return row.ip;
        case ResultColumn:
            return row.result;
        case DescriptionColumn:
            return row.description;
        case InformColumn:
            return QCoreApplication::translate("Tarnwick::UserList", yesNo(row.inform));
        default:
            return statisticsText(row, column);
        }
    case Qt::DecorationRole:
        if (column == StateColumn)
            return stateIcon(row);
        if (column == TypeColumn && !row.typePicture.isEmpty())
            return SkinResources::icon(row.typePicture);
        if (column == DescriptionColumn && !row.muteToolTip.isEmpty())
            return MuteMark::icon();
        if (column == InformColumn && !row.maintenanceToolTip.isEmpty())
            return MaintenanceMark::icon();
        return {};
    case Qt::ToolTipRole:
        switch (column) {
        case StateColumn:
            if (row.rank == Disconnected && !row.cutOffBehind.isEmpty())
                //: %1: the failed device this one is cut off behind
                return QCoreApplication::translate("Tarnwick::UserList", "Unreachable: behind %1")
                    .arg(row.cutOffBehind);
            if (row.rank == Connected && row.slow)
                //: Tooltip of the state picture of a connected device that answers slowly
                return QCoreApplication::translate("Tarnwick::UserList", "Slow");
            return {};
        case AddressColumn:
            if (row.hasAddress)
                return {};
            return QCoreApplication::translate(
                "Tarnwick::UserList",
                "The device list gives this device no address: edit it to give it one, or remove it.");
        case ResultColumn:
            return row.resultToolTip;
        case DescriptionColumn:
            return row.muteToolTip;
        case InformColumn:
            return row.maintenanceToolTip;
        case SinceColumn: {
            const UserList::RowStatistics& statistics = m_statistics.of(row.ip);
            return statistics.lastAnsweredMs
                //: %1: the date and time of the last answer
                ? QCoreApplication::translate("UserListRow", "Last seen %1")
                      .arg(timeText(QDateTime::fromMSecsSinceEpoch(*statistics.lastAnsweredMs)))
                : QCoreApplication::translate("UserListRow", "Not seen since Tarnwick started");
        }
        default:
            return {};
        }
    case Qt::AccessibleTextRole:
        return accessibleText(index);
    default:
        return {};
    }
}

std::optional<double> DeviceListModel::numberFor(int rowNumber, int column) const
{
    const Row& row = m_rows[std::size_t(rowNumber)];
    switch (sortKey(column)) {
    case SortKey::Rank:
        return double(row.rank);
    case SortKey::Type:
        return double(row.type);
    case SortKey::RoundTrip:
        return row.roundTripMs;
    case SortKey::Since:
        // Longest in its state first when ascending: the earliest time.
        return double(row.sinceMs);
    case SortKey::Figure:
        return figureOf(m_statistics.of(row.ip), column);
    case SortKey::Address:
    case SortKey::Text:
        break;
    }
    return std::nullopt;
}

void DeviceListModel::append(const QList<Row>& rows)
{
    if (rows.isEmpty())
        return;
    const int first = rowCount();
    beginInsertRows({}, first, first + int(rows.size()) - 1);
    // Room for a whole batch at once, but never exactly what it needs: devices added one at a
    // time (the API, discovery) would otherwise move every row for each of them.
    const std::size_t needed = m_rows.size() + std::size_t(rows.size());
    if (needed > m_rows.capacity())
        m_rows.reserve(std::max(needed, 2 * m_rows.capacity()));
    for (const Row& row : rows) {
        m_rows.push_back(row);
        m_sequences.push_back(m_nextSequence);
        m_sequencesOf[row.ip].append(m_nextSequence++);
    }
    endInsertRows();
}

QList<int> DeviceListModel::rowsOf(const QString& ip) const
{
    QList<int> rows;
    for (const qint64 sequence : m_sequencesOf.value(ip)) {
        const auto at = std::lower_bound(m_sequences.cbegin(), m_sequences.cend(), sequence);
        rows << int(at - m_sequences.cbegin());
    }
    return rows;
}

int DeviceListModel::firstRowOf(const QString& ip) const
{
    const auto it = m_sequencesOf.constFind(ip);
    if (it == m_sequencesOf.cend() || it->isEmpty())
        return -1;
    return int(std::lower_bound(m_sequences.cbegin(), m_sequences.cend(), it->first()) - m_sequences.cbegin());
}

void DeviceListModel::removeRowAt(int row)
{
    const QString ip = m_rows[std::size_t(row)].ip;
    QList<qint64>& sequences = m_sequencesOf[ip];
    sequences.removeOne(m_sequences[std::size_t(row)]);
    if (sequences.isEmpty())
        m_sequencesOf.remove(ip);
    if (m_holdingRemovals) {
        m_removedWhileHeld.push_back(m_sequences[std::size_t(row)]);
        return;
    }
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    m_sequences.erase(m_sequences.begin() + row);
    endRemoveRows();
}

void DeviceListModel::holdRemovals()
{
    m_holdingRemovals = true;
}

void DeviceListModel::releaseRemovals()
{
    m_holdingRemovals = false;
    std::vector<int> gone;
    gone.reserve(m_removedWhileHeld.size());
    for (const qint64 sequence : std::exchange(m_removedWhileHeld, {}))
        gone.push_back(
            int(std::lower_bound(m_sequences.cbegin(), m_sequences.cend(), sequence) - m_sequences.cbegin()));
    if (gone.empty())
        return;
    std::sort(gone.begin(), gone.end());
    std::vector<std::pair<int, int>> ranges; // first and last row of each
    for (const int row : gone) {
        if (!ranges.empty() && ranges.back().second + 1 == row)
            ranges.back().second = row;
        else
            ranges.emplace_back(row, row);
    }
    // A range costs the views a pass over every row; past a few, one reset costs less.
    constexpr std::size_t MostRanges = 16;
    if (ranges.size() <= MostRanges) {
        for (auto range = ranges.crbegin(); range != ranges.crend(); ++range) {
            beginRemoveRows({}, range->first, range->second);
            m_rows.erase(m_rows.begin() + range->first, m_rows.begin() + range->second + 1);
            m_sequences.erase(m_sequences.begin() + range->first, m_sequences.begin() + range->second + 1);
            endRemoveRows();
        }
        return;
    }
    beginResetModel();
    std::vector<Row> rows;
    std::vector<qint64> sequences;
    rows.reserve(m_rows.size() - gone.size());
    sequences.reserve(rows.capacity());
    auto next = gone.cbegin();
    for (std::size_t row = 0; row < m_rows.size(); ++row) {
        if (next != gone.cend() && std::size_t(*next) == row) {
            ++next;
            continue;
        }
        rows.push_back(std::move(m_rows[row]));
        sequences.push_back(m_sequences[row]);
    }
    m_rows.swap(rows);
    m_sequences.swap(sequences);
    endResetModel();
}

void DeviceListModel::announceChange(int rowNumber, const Row& before)
{
    const Row& after = m_rows[std::size_t(rowNumber)];
    std::array<bool, ColumnCount> changed{};
    changed[StateColumn] = after.rank != before.rank || after.statePicture != before.statePicture
        || after.slow != before.slow || after.cutOffBehind != before.cutOffBehind;
    changed[TypeColumn] = after.type != before.type || after.typePicture != before.typePicture;
    changed[AddressColumn] = after.hasAddress != before.hasAddress;
    changed[ResultColumn] = after.result != before.result || after.resultToolTip != before.resultToolTip;
    changed[DescriptionColumn] = after.description != before.description || after.muteToolTip != before.muteToolTip;
    changed[InformColumn] = after.inform != before.inform || after.maintenanceToolTip != before.maintenanceToolTip;
    changed[SinceColumn] = after.sinceMs != before.sinceMs;
    const auto first = std::find(changed.cbegin(), changed.cend(), true);
    if (first == changed.cend())
        return;
    const auto last = std::find(changed.crbegin(), changed.crend(), true);
    emit dataChanged(index(rowNumber, int(first - changed.cbegin())),
                     index(rowNumber, int(changed.crend() - last) - 1));
}

void DeviceListModel::statisticsChanged()
{
    if (!m_rows.empty())
        emit dataChanged(index(0, LossColumn), index(rowCount() - 1, ColumnCount - 1));
}

} // namespace Tarnwick
