// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QStringList>

#include <optional>
#include <vector>

namespace Tarnwick {

class UserListStatistics;

// The device list as a table, one row per row of the list in the order the rows were added.
// Each row keeps what its cells show and what sorting needs (the state's rank, the type, the
// address's number, the round trip), so that a sort reads no text. Its columns are listed once,
// with their headers, widths, CSV headers and what a screen reader hears of them.
class DeviceListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        StateColumn,
        TypeColumn,
        AddressColumn,
        ResultColumn,
        DescriptionColumn,
        InformColumn,
        LossColumn,
        AverageColumn,
        JitterColumn,
        SinceColumn,
        // Hidden until the user shows them: the spread of the round trips, the hour's and the day's.
        MedianColumn,
        Percentile95Column,
        DayMedianColumn,
        DayPercentile95Column,
        ColumnCount
    };
    // The columns from here on start hidden: the user shows them from the header's menu.
    static constexpr int FirstOptionalColumn = MedianColumn;
    // What a state column sorts by: connected first, then disconnected, then not yet probed.
    enum StateRank { Connected, Disconnected, NotProbed };
    // What a column sorts by.
    enum class SortKey { Rank, Type, Address, RoundTrip, Text, Figure, Since };

    // What a row shows.
    struct Row
    {
        QString ip;
        // The address's number, empty for a host name (DeviceAddress::sortKey).
        QByteArray addressKey;
        bool hasAddress = true;
        QString description;
        int type = 0;
        // The type's picture (DevicePictures), empty: none.
        QString typePicture;
        bool inform = false;
        StateRank rank = Disconnected;
        // The state's picture (DevicePictures), empty: none.
        QString statePicture;
        // Whether a connected device is slow: its picture carries the mark, its words say so.
        bool slow = false;
        // The failed device a disconnected one is cut off behind: its picture greyed.
        QString cutOffBehind;
        // The result column: the store's text, sorted by the round trip it stands for.
        QString result;
        std::optional<double> roundTripMs;
        QString resultToolTip;
        // A mute's and a maintenance window's marks say until when; empty: none.
        QString muteToolTip;
        QString maintenanceToolTip;
        // When the device got its present state, UTC ms.
        qint64 sinceMs = 0;
    };

    // The statistics columns ask the figures of statistics as they are shown or sorted.
    explicit DeviceListModel(const UserListStatistics& statistics, QObject* parent = nullptr);

    static QString header(int column);
    static int defaultWidth(int column);
    static SortKey sortKey(int column);
    // The column's header in the CSV export, where the export has the column.
    static QString csvHeader(int column);
    // "yes" or "no" in English, as the CSV export writes it; the list shows it translated.
    static const char* yesNo(bool value);
    // A moment as the list shows it, in local time: "2026-12-08 17:11:05".
    static QString timeText(const QDateTime& time);

    // Asked twice for each of a sort's comparisons: it checks the bounds itself rather than
    // through rowCount and columnCount.
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // Besides the texts, pictures and tooltips, what a screen reader says of a cell
    // (Qt::AccessibleTextRole): the state in words ("disconnected, unreachable behind 10.0.0.1",
    // "connected, slow"), the type's name, and a mute or a maintenance window after the
    // description or the yes/no.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    const Row& row(int row) const { return m_rows[std::size_t(row)]; }
    // The number a column sorts by where it has one (smaller first); none goes last.
    std::optional<double> numberFor(int row, int column) const;

    // Appends rows at the end, in one insertion.
    void append(const QList<Row>& rows);
    // The rows of the address, in order; its first row, or -1.
    QList<int> rowsOf(const QString& ip) const;
    int firstRowOf(const QString& ip) const;
    void removeRowAt(int row);
    // Rows removed between these two go at once as the hold ends, in a few ranges or, where they
    // are scattered, in a reset: thousands taken out one by one would each move every later row,
    // and the sorting proxy's map of them. Meanwhile they are no address's rows any more.
    void holdRemovals();
    void releaseRemovals();
    // Changes a row and tells its changed cells.
    template <typename Change>
    void change(int row, Change&& change)
    {
        const Row before = m_rows[std::size_t(row)];
        change(m_rows[std::size_t(row)]);
        announceChange(row, before);
    }
    // Every row's statistics columns show new figures.
    void statisticsChanged();

private:
    void announceChange(int row, const Row& before);
    QIcon stateIcon(const Row& row) const;
    QString accessibleText(const QModelIndex& index) const;
    QString statisticsText(const Row& row, int column) const;

    const UserListStatistics& m_statistics;
    std::vector<Row> m_rows;
    // Each row's number in the order rows were added: m_rows is in that order, so a row is
    // found from its number by a binary search, whatever went meanwhile.
    std::vector<qint64> m_sequences;
    QHash<QString, QList<qint64>> m_sequencesOf;
    qint64 m_nextSequence = 0;
    bool m_holdingRemovals = false;
    std::vector<qint64> m_removedWhileHeld; // by sequence
    // The marked and the greyed state pictures, made once from the skin's picture they show.
    mutable QIcon m_slowFrom;
    mutable QIcon m_slowIcon;
    mutable QIcon m_greyedFrom;
    mutable QIcon m_greyedIcon;
};

} // namespace Tarnwick
