// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceListSortFilter.h"

#include "DeviceListModel.h"
#include "data/SlowView.h"

namespace Tarnwick {

DeviceListSortFilter::DeviceListSortFilter(DeviceListModel& model, const SlowView* slow, QObject* parent)
    : QSortFilterProxyModel(parent)
    , m_model(model)
    , m_slow(slow)
{
    setDynamicSortFilter(false);
    setSourceModel(&model);
    m_refilterTimer.setSingleShot(true);
    m_refilterTimer.setInterval(50);
    connect(&m_refilterTimer, &QTimer::timeout, this, [this] {
        invalidateRowsFilter();
        emit refiltered();
    });
}

void DeviceListSortFilter::setFilter(const QString& text, StateShown state)
{
    m_text = text.trimmed();
    m_state = state;
    m_refilterTimer.stop();
    invalidateRowsFilter();
}

void DeviceListSortFilter::rowChanged(int sourceRow)
{
    if ((m_text.isEmpty() && m_state == StateShown::All) || m_refilterTimer.isActive())
        return;
    const bool shown = mapFromSource(m_model.index(sourceRow, 0)).isValid();
    if (shown != filterAcceptsRow(sourceRow, {}))
        m_refilterTimer.start();
}

void DeviceListSortFilter::sort(int column, Qt::SortOrder order)
{
    using Key = DeviceListModel::SortKey;
    if (column >= 0 && column < DeviceListModel::ColumnCount && DeviceListModel::sortKey(column) != Key::Address
        && DeviceListModel::sortKey(column) != Key::Text) {
        m_numbers.resize(std::size_t(m_model.rowCount()));
        for (int row = 0; row < m_model.rowCount(); ++row)
            m_numbers[std::size_t(row)] = m_model.numberFor(row, column);
    }
    QSortFilterProxyModel::sort(column, order);
    m_numbers.clear();
}

bool DeviceListSortFilter::filterAcceptsRow(int sourceRow, const QModelIndex&) const
{
    using Rank = DeviceListModel::StateRank;
    const DeviceListModel::Row& row = m_model.row(sourceRow);
    if ((m_state == StateShown::Connected && row.rank != Rank::Connected)
        || (m_state == StateShown::Disconnected && row.rank != Rank::Disconnected)
        || (m_state == StateShown::Slow && (row.rank != Rank::Connected || !m_slow || !m_slow->isSlow(row.ip))))
        return false;
    return m_text.isEmpty() || row.ip.contains(m_text, Qt::CaseInsensitive)
        || row.description.contains(m_text, Qt::CaseInsensitive);
}

bool DeviceListSortFilter::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    const int column = left.column();
    // Source rows are in the order they were added.
    const bool tieBreak = left.row() < right.row();
    using Key = DeviceListModel::SortKey;
    const Key key = DeviceListModel::sortKey(column);
    if (key == Key::Address) {
        const QByteArray& mine = m_model.row(left.row()).addressKey;
        const QByteArray& theirs = m_model.row(right.row()).addressKey;
        // Addresses by their number, before host names, which go by their text; the same
        // address on two links by the text of its interface.
        if (!mine.isEmpty() && !theirs.isEmpty() && mine != theirs)
            return mine < theirs;
        if (mine.isEmpty() != theirs.isEmpty())
            return !mine.isEmpty();
    } else if (key != Key::Text) {
        const auto number = [this, column](int row) {
            return m_numbers.empty() ? m_model.numberFor(row, column) : m_numbers[std::size_t(row)];
        };
        const std::optional<double> mine = number(left.row());
        const std::optional<double> theirs = number(right.row());
        if (mine && theirs)
            return *mine != *theirs ? *mine < *theirs : tieBreak;
        if (mine.has_value() != theirs.has_value())
            return mine.has_value();
        return tieBreak;
    }
    const int order = left.data().toString().localeAwareCompare(right.data().toString());
    return order != 0 ? order < 0 : tieBreak;
}

} // namespace Tarnwick
