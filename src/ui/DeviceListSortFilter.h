// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSortFilterProxyModel>
#include <QTimer>

#include <optional>
#include <vector>

namespace Tarnwick {

class DeviceListModel;
class SlowView;

// Shows the device list's rows that the filter matches, sorted as the list is. Neither follows
// each change of a row by itself, since every result changes one and a long list would be sorted
// and filtered anew a thousand times a second: the list sorts again when it decides to, and a row
// whose state changed is filtered anew shortly after, with all others that changed meanwhile.
class DeviceListSortFilter : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    // The choices of the state filter, in its order.
    enum class StateShown { All, Connected, Disconnected, Slow };

    // slow: which connected devices are slow; none shows none under "Slow".
    DeviceListSortFilter(DeviceListModel& model, const SlowView* slow, QObject* parent = nullptr);

    // The rows whose address or description contains text, in a state; filters at once.
    void setFilter(const QString& text, StateShown state);
    // A row of the list changed: it is filtered anew soon if it is now shown where it was
    // not, or the other way round.
    void rowChanged(int sourceRow);
    // Reads each row's number for the column once, rather than at each of a long list's
    // million comparisons.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

signals:
    // Rows came into view or left it as the filter was applied again.
    void refiltered();

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    // By the column's number (rows without one last), the address's number, or the text;
    // rows that compare the same keep the order they were added in.
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    const DeviceListModel& m_model;
    const SlowView* const m_slow;
    QString m_text;
    StateShown m_state = StateShown::All;
    QTimer m_refilterTimer;
    // Each source row's number while a sort by a column of numbers runs; empty otherwise.
    std::vector<std::optional<double>> m_numbers;
};

} // namespace Tarnwick
