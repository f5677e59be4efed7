// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/ProbeResult.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTreeWidgetItem>

#include <array>
#include <optional>

namespace Tarnwick {

class UserListStatistics;

// A row of the device list. Besides its texts it keeps what sorting needs: the order it was
// added in, its state and its type, and for the address the number an IPv4 address stands for.
class UserListRow : public QTreeWidgetItem
{
    Q_DECLARE_TR_FUNCTIONS(UserListRow)

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
    // What a state column sorts by: connected first, then disconnected, then not yet probed.
    enum StateRank { Connected, Disconnected, NotProbed };

    explicit UserListRow(qint64 sequence);

    // A moment as the list shows it, in local time: "2026-12-08 17:11:05".
    static QString timeText(const QDateTime& time);

    qint64 sequence() const { return m_sequence; }
    void setStateRank(StateRank rank) { m_stateRank = rank; }
    StateRank stateRank() const { return m_stateRank; }
    void setType(int type) { m_type = type; }
    // Whether a connected device is slow: its state picture carries the mark, its text the word.
    void setSlow(bool slow) { m_slow = slow; }
    // The result column: the store's text, sorted by the round trip it stands for.
    void setResult(const QString& text, const ProbeResult& result);
    // When the device got its present state, UTC ms.
    void setSinceMs(qint64 ms) { m_sinceMs = ms; }
    // Where "Loss", "Avg", "Jitter" and "Since" come from: they are worked out when the row
    // is shown or sorted, not written in every row at each refresh. None: the row's own texts.
    void setStatistics(const UserListStatistics* statistics) { m_statistics = statistics; }

    // Besides the texts, what a screen reader says of the pictures (Qt::AccessibleTextRole):
    // the state in words ("disconnected, unreachable behind 10.0.0.1", "connected, slow"), the
    // type's name, and a mute or a maintenance window after the description or the yes/no.
    QVariant data(int column, int role) const override;

    // Sorts by the tree's sort column; with no sort column, in the order the rows were added.
    bool operator<(const QTreeWidgetItem& other) const override;
    // Keeps the numbers that texts stand for, so that sorting reads no text.
    void setData(int column, int role, const QVariant& value) override;

private:
    // A number where the column has one (smaller first); none where it does not.
    std::optional<double> numberFor(int column) const;
    bool isStatisticsColumn(int column) const;
    QString accessibleText(int column) const;

    // The number of each column's text where it has one ("12", "3.27 ms"), and of the address.
    std::array<std::optional<double>, ColumnCount> m_textNumbers;
    std::optional<double> m_roundTripMs;
    QString m_ip;
    const UserListStatistics* m_statistics = nullptr;
    QByteArray m_address;
    qint64 m_sequence;
    StateRank m_stateRank = Disconnected;
    int m_type = 0;
    bool m_slow = false;
    qint64 m_sinceMs = 0;
};

} // namespace Tarnwick
