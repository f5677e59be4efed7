// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QStringList>

namespace Tarnwick {

class NetworkInventory;
struct InventoryEntry;

// The network inventory as a table, one row per piece of hardware, following the inventory:
// a round of the watch inserts the rows of new hardware and updates those it heard again, in
// runs of neighbouring rows, never resetting the table; a forgotten entry's row goes.
class NetworkInventoryModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        AddressColumn,
        HardwareAddressColumn,
        VendorColumn,
        NameColumn,
        FirstSeenColumn,
        LastSeenColumn,
        KnownColumn,
        OtherAddressesColumn,
        ColumnCount
    };
    enum Role {
        // What a column sorts by: addresses by number (IPv4 before IPv6), times by time, the
        // rest by their text.
        SortRole = Qt::UserRole,
        // A cell as the CSV export writes it: times in UTC as every export writes them.
        CsvRole
    };

    explicit NetworkInventoryModel(NetworkInventory& inventory, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    static QStringList csvHeader();
    // A text as wide as the column's usually are.
    static QString typicalText(int column);
    // The hardware address of a row's entry.
    QString hardwareAddress(int row) const { return m_rows.value(row); }
    const InventoryEntry* entry(int row) const;
    // The device list changed: "Known" is read again on every row.
    void listChanged();

private:
    void entriesChanged(const QStringList& hardwareAddresses);
    void entryForgotten(const QString& hardwareAddress);
    // The rows' texts as shown, translated.
    QString text(const InventoryEntry& entry, int column) const;
    // What the column "Known" says of the entry, in English.
    const char* known(const InventoryEntry& entry) const;

    NetworkInventory& m_inventory;
    // Hardware addresses in the order they came, and each one's row.
    QStringList m_rows;
    QHash<QString, int> m_rowOf;
};

} // namespace Tarnwick
