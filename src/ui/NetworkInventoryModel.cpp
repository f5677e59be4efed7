// SPDX-License-Identifier: GPL-3.0-or-later
#include "NetworkInventoryModel.h"

#include "DeviceListModel.h"
#include "data/CsvDocument.h"
#include "data/DeviceAddress.h"
#include "data/NetworkInventory.h"

#include <algorithm>

namespace Tarnwick {

namespace {

enum class SortBy { Text, Address, Time };

struct ColumnDefinition
{
    // Shown translated; the CSV header stays as it is.
    const char* header;
    const char* csvHeader;
    SortBy sortBy;
    // What the column is made wide enough for at first, whatever the rows hold then.
    const char* typical;
};

// The column "Known", in English as the CSV export writes it.
//: The column "Known": the device list has a device of this address
constexpr const char* KnownListed = QT_TRANSLATE_NOOP("Tarnwick::NetworkInventoryModel", "yes (listed)");
//: The column "Known": the user marked the hardware as known
constexpr const char* KnownMarked = QT_TRANSLATE_NOOP("Tarnwick::NetworkInventoryModel", "yes");
//: The column "Known": the hardware is not known
constexpr const char* NotKnown = QT_TRANSLATE_NOOP("Tarnwick::NetworkInventoryModel", "no");

constexpr ColumnDefinition Columns[] = {
    //: Column header: the hardware's IP address
    {QT_TRANSLATE_NOOP("Tarnwick::NetworkInventoryModel", "Address"), "Address", SortBy::Address, "255.255.255.255"},
    //: Column header: the network card's MAC address
    {QT_TRANSLATE_NOOP("Tarnwick::NetworkInventoryModel", "Hardware address"), "Hardware address", SortBy::Text,
     "aa:bb:cc:dd:ee:ff"},
    //: Column header: the maker of the network card
    {QT_TRANSLATE_NOOP("Tarnwick::NetworkInventoryModel", "Vendor"), "Vendor", SortBy::Text,
     "Raspberry Pi Trading Ltd"},
    //: Column header: the host name
    {QT_TRANSLATE_NOOP("Tarnwick::NetworkInventoryModel", "Name"), "Name", SortBy::Text, "printer.home.arpa"},
    //: Column header: when the hardware was first heard
    {QT_TRANSLATE_NOOP("Tarnwick::NetworkInventoryModel", "First seen"), "First seen (UTC)", SortBy::Time,
     "2026-12-31 23:59:59"},
    //: Column header: when the hardware was last heard
    {QT_TRANSLATE_NOOP("Tarnwick::NetworkInventoryModel", "Last seen"), "Last seen (UTC)", SortBy::Time,
     "2026-12-31 23:59:59"},
    //: Column header: whether the hardware is in the device list or marked as known
    {QT_TRANSLATE_NOOP("Tarnwick::NetworkInventoryModel", "Known"), "Known", SortBy::Text, KnownListed},
    //: Column header: the hardware's further IP addresses
    {QT_TRANSLATE_NOOP("Tarnwick::NetworkInventoryModel", "Other addresses"), "Other addresses", SortBy::Text,
     "fe80::aaaa:bbff:fecc:dddd%eth0"},
};
static_assert(std::size(Columns) == NetworkInventoryModel::ColumnCount);

const QDateTime& timeOf(const InventoryEntry& entry, int column)
{
    return column == NetworkInventoryModel::FirstSeenColumn ? entry.firstSeen : entry.lastSeen;
}

} // namespace

NetworkInventoryModel::NetworkInventoryModel(NetworkInventory& inventory, QObject* parent)
    : QAbstractTableModel(parent)
    , m_inventory(inventory)
{
    for (const InventoryEntry& entry : inventory.entries()) {
        m_rowOf.insert(entry.hardwareAddress, int(m_rows.size()));
        m_rows << entry.hardwareAddress;
    }
    connect(&inventory, &NetworkInventory::entriesChanged, this, &NetworkInventoryModel::entriesChanged);
    connect(&inventory, &NetworkInventory::entryForgotten, this, &NetworkInventoryModel::entryForgotten);
}

QString NetworkInventoryModel::typicalText(int column)
{
    // The other columns' samples are addresses, names and times, as the rows hold them.
    return column == KnownColumn ? tr(Columns[column].typical) : QString::fromLatin1(Columns[column].typical);
}

int NetworkInventoryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int NetworkInventoryModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

Qt::ItemFlags NetworkInventoryModel::flags(const QModelIndex& index) const
{
    return QAbstractTableModel::flags(index) | Qt::ItemNeverHasChildren;
}

QStringList NetworkInventoryModel::csvHeader()
{
    QStringList header;
    for (const ColumnDefinition& column : Columns)
        header << QString::fromLatin1(column.csvHeader);
    return header;
}

const InventoryEntry* NetworkInventoryModel::entry(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_inventory.entry(m_rows.at(row)) : nullptr;
}

QVariant NetworkInventoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    // A column clicked for the first time sorts upwards, whatever the style's habit.
    if (role == Qt::InitialSortOrderRole)
        return int(Qt::AscendingOrder);
    if (role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    return tr(Columns[section].header);
}

QString NetworkInventoryModel::text(const InventoryEntry& entry, int column) const
{
    switch (Column(column)) {
    case AddressColumn:
        return entry.addresses.value(0);
    case HardwareAddressColumn:
        return entry.hardwareAddress;
    case VendorColumn:
        return entry.vendor;
    case NameColumn:
        return entry.name;
    case FirstSeenColumn:
    case LastSeenColumn:
        return DeviceListModel::timeText(timeOf(entry, column));
    case KnownColumn:
        return tr(known(entry));
    case OtherAddressesColumn:
    case ColumnCount:
        break;
    }
    return entry.addresses.mid(1).join(QStringLiteral(", "));
}

const char* NetworkInventoryModel::known(const InventoryEntry& entry) const
{
    return m_inventory.isListed(entry) ? KnownListed : entry.markedKnown ? KnownMarked : NotKnown;
}

QVariant NetworkInventoryModel::data(const QModelIndex& index, int role) const
{
    const InventoryEntry* shown = index.isValid() ? entry(index.row()) : nullptr;
    if (!shown || index.column() >= ColumnCount)
        return {};
    const int column = index.column();
    const SortBy sortBy = Columns[column].sortBy;
    switch (role) {
    case Qt::DisplayRole:
        return text(*shown, column);
    case SortRole:
        // The address's key as hex text, which sorts as its bytes do; a time by its number.
        if (sortBy == SortBy::Address)
            return QString::fromLatin1(DeviceAddress::sortKey(shown->addresses.value(0)).toHex());
        if (sortBy == SortBy::Time)
            return timeOf(*shown, column).toMSecsSinceEpoch();
        return text(*shown, column);
    case CsvRole:
        if (sortBy == SortBy::Time)
            return timeOf(*shown, column).isValid() ? CsvDocument::time(timeOf(*shown, column).toMSecsSinceEpoch())
                                                    : QString();
        if (column == KnownColumn)
            return QString::fromLatin1(known(*shown));
        return text(*shown, column);
    default:
        return {};
    }
}

void NetworkInventoryModel::entriesChanged(const QStringList& hardwareAddresses)
{
    QList<int> changed;
    QStringList added;
    for (const QString& hardware : hardwareAddresses) {
        if (const auto it = m_rowOf.constFind(hardware); it != m_rowOf.cend())
            changed << *it;
        else if (m_inventory.entry(hardware) && !added.contains(hardware))
            added << hardware;
    }
    if (!added.isEmpty()) {
        beginInsertRows({}, int(m_rows.size()), int(m_rows.size() + added.size() - 1));
        for (const QString& hardware : std::as_const(added)) {
            m_rowOf.insert(hardware, int(m_rows.size()));
            m_rows << hardware;
        }
        endInsertRows();
    }
    // One signal for each run of neighbouring rows: a round that hears every entry again is one.
    std::sort(changed.begin(), changed.end());
    for (qsizetype first = 0; first < changed.size();) {
        qsizetype last = first;
        while (last + 1 < changed.size() && changed[last + 1] <= changed[last] + 1)
            ++last;
        emit dataChanged(index(changed[first], 0), index(changed[last], ColumnCount - 1));
        first = last + 1;
    }
}

void NetworkInventoryModel::entryForgotten(const QString& hardwareAddress)
{
    const auto it = m_rowOf.constFind(hardwareAddress);
    if (it == m_rowOf.cend())
        return;
    const int row = *it;
    beginRemoveRows({}, row, row);
    m_rows.removeAt(row);
    m_rowOf.remove(hardwareAddress);
    for (int later = row; later < m_rows.size(); ++later)
        m_rowOf.insert(m_rows.at(later), later);
    endRemoveRows();
}

void NetworkInventoryModel::listChanged()
{
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, KnownColumn), index(int(m_rows.size()) - 1, KnownColumn));
}

} // namespace Tarnwick
