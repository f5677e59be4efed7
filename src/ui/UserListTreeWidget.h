// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTimer>
#include <QTreeView>

#include <functional>

class QAction;
class QMenu;

namespace Tarnwick {

// The tree of the device list. The row menu ("Edit", "Copy address", "Ping now", "Details",
// "Show on map", "Export list as CSV...", "Remove") acts on the selected rows; so do the keys: Enter opens the
// current row's details, F2 edits, Delete removes (after asking), Ctrl+C copies the addresses,
// the Menu key and Shift+F10 open the menu. A click on a column's header sorts by it, a second
// the other way round, a third goes back to the order the rows were added in. Its model has a
// row per device, the address in DeviceListModel::AddressColumn; the model sorts.
class UserListTreeWidget : public QTreeView
{
    Q_OBJECT

public:
    explicit UserListTreeWidget(QWidget* parent = nullptr);

    // Opens the context menu at a global position and returns when it has closed. Replaceable,
    // so that tests need not run the menu's own event loop.
    using MenuRunner = std::function<void(QMenu* menu, const QPoint& globalPosition)>;
    void setMenuRunner(MenuRunner runner);
    void runMenu(QMenu* menu, const QPoint& globalPosition) { m_runMenu(menu, globalPosition); }

    // Asks whether to go on (yes/no); replaceable, as the message box waits for the user.
    using Confirmation = std::function<bool(QWidget* parent, const QString& question)>;
    void setConfirmation(Confirmation confirmation);

    QMenu* contextMenu() const { return m_menu; }
    // The width the column needs to show the texts and pictures of its rows whole.
    int contentWidth(int column) const { return sizeHintForColumn(column); }
    // The same for the rows on screen only.
    int shownContentWidth(int column) const;

    // The tooltip of a cell, made when it is asked for (rich text; empty: the cell's own).
    using ToolTipSource = std::function<QString(const QModelIndex& index)>;
    void setToolTipSource(ToolTipSource source);

    // -1: the order the rows were added in.
    void setSort(int column, Qt::SortOrder order);
    int sortedColumn() const { return m_sortColumn; }
    Qt::SortOrder sortedOrder() const { return m_sortOrder; }
    // Sorts again shortly, once, however many rows changed meanwhile.
    void sortSoon();

    // Removes the selected rows' entries after asking.
    void removeSelected();
    QStringList selectedAddresses() const;
    // A row's place across its shown columns, in the viewport.
    QRect rowRect(const QModelIndex& index) const;

signals:
    void detailsRequested(const QString& ip);
    // The row menu's "Trace": the details, at the path to the device.
    void traceRequested(const QString& ip);
    void exportListRequested();
    void pingRequested(const QString& ip);
    void showOnMapRequested(const QString& ip);
    void sortChanged(int column, Qt::SortOrder order);

protected:
    // Draws the changed cells on screen alone.
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private slots:
    void RemoveTriggered();
    void EditTriggered();
    // Not offered by the menu.
    void AddTriggered() { }
    void DiscoverTriggered() { }

private:
    void headerClicked(int column);
    void applySort();
    // The current row, or the first selected one; invalid: none.
    QModelIndex chosenRow() const;
    static QString addressOf(const QModelIndex& index);
    // Makes the row the only one selected unless it is selected already.
    void selectAlone(const QModelIndex& index);

    QMenu* m_menu;
    QAction* m_removeAction;
    QAction* m_editAction;
    MenuRunner m_runMenu;
    Confirmation m_confirm;
    ToolTipSource m_toolTipSource;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    QTimer m_sortTimer;
};

} // namespace Tarnwick
