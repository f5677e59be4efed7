// SPDX-License-Identifier: GPL-3.0-or-later
#include "UserListTreeWidget.h"

#include "DeviceListModel.h"
#include "EditDeviceEntryDialog.h"
#include "ModalDialog.h"
#include "data/Data.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QSortFilterProxyModel>
#include <QToolTip>

#include <algorithm>

namespace Tarnwick {

namespace {

constexpr int AddressColumn = DeviceListModel::AddressColumn;

// The question names devices by their descriptions, which are plain text: read as markup, an
// unclosed comment in one would hide the devices named after it.
bool askInPlainText(QWidget* parent, const QString& question)
{
    //: Title of the question whether to remove devices from the list
    QMessageBox box(QMessageBox::Question, QCoreApplication::translate("Tarnwick::UserListTreeWidget", "Remove"),
                    question, QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes;
}

} // namespace

UserListTreeWidget::UserListTreeWidget(QWidget* parent)
    : QTreeView(parent)
    , m_menu(new QMenu(this))
    , m_removeAction(nullptr)
    //: A row menu entry: edit the selected devices
    , m_editAction(m_menu->addAction(tr("Edit")))
    , m_runMenu([](QMenu* menu, const QPoint& at) { menu->exec(at); })
    , m_confirm(&askInPlainText)
{
    connect(m_editAction, &QAction::triggered, this, &UserListTreeWidget::EditTriggered);
    connect(m_menu->addAction(tr("Copy address")), &QAction::triggered, this,
            [this] { QGuiApplication::clipboard()->setText(selectedAddresses().join(QLatin1Char('\n'))); });
    connect(m_menu->addAction(tr("Ping now")), &QAction::triggered, this, [this] {
        for (const QString& ip : selectedAddresses())
            emit pingRequested(ip);
    });
    //: A row menu entry: open the device's details
    connect(m_menu->addAction(tr("Details")), &QAction::triggered, this, [this] {
        if (const QModelIndex row = chosenRow(); row.isValid())
            emit detailsRequested(addressOf(row));
    });
    //: A row menu entry: the routers on the way to the device, in its details
    connect(m_menu->addAction(tr("Trace")), &QAction::triggered, this, [this] {
        if (const QModelIndex row = chosenRow(); row.isValid())
            emit traceRequested(addressOf(row));
    });
    connect(m_menu->addAction(tr("Show on map")), &QAction::triggered, this, [this] {
        const QModelIndexList selected = selectionModel()->selectedRows();
        if (const QModelIndex row = currentIndex().isValid() ? currentIndex() : selected.value(0); row.isValid())
            emit showOnMapRequested(addressOf(row));
    });
    connect(m_menu->addAction(tr("Export list as CSV...")), &QAction::triggered, this,
            &UserListTreeWidget::exportListRequested);
    m_menu->addSeparator();
    //: A row menu entry: remove the selected devices from the list
    m_removeAction = m_menu->addAction(tr("Remove"));
    connect(m_removeAction, &QAction::triggered, this, &UserListTreeWidget::RemoveTriggered);
    connect(this, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& row) { emit detailsRequested(addressOf(row)); });

    // The tree sorts by itself (see headerClicked); QTreeView's own sorting stays off, and must
    // not be switched off again later, as that makes the header unclickable.
    header()->setSectionsClickable(true);
    connect(header(), &QHeaderView::sectionClicked, this, &UserListTreeWidget::headerClicked);
    m_sortTimer.setSingleShot(true);
    m_sortTimer.setInterval(300);
    connect(&m_sortTimer, &QTimer::timeout, this, [this] {
        if (m_sortColumn >= 0 && model())
            model()->sort(m_sortColumn, m_sortOrder);
    });
}

void UserListTreeWidget::setConfirmation(Confirmation replacement)
{
    m_confirm = std::move(replacement);
}

void UserListTreeWidget::setToolTipSource(ToolTipSource source)
{
    m_toolTipSource = std::move(source);
}

void UserListTreeWidget::setMenuRunner(MenuRunner runner)
{
    m_runMenu = std::move(runner);
}

QString UserListTreeWidget::addressOf(const QModelIndex& index)
{
    return index.siblingAtColumn(AddressColumn).data().toString();
}

QModelIndex UserListTreeWidget::chosenRow() const
{
    const QModelIndex current = currentIndex();
    if (current.isValid() && selectionModel()->isRowSelected(current.row()))
        return current;
    return selectionModel()->selectedRows().value(0);
}

QStringList UserListTreeWidget::selectedAddresses() const
{
    QModelIndexList rows = selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end());
    QStringList addresses;
    for (const QModelIndex& row : rows)
        addresses << addressOf(row);
    return addresses;
}

QRect UserListTreeWidget::rowRect(const QModelIndex& index) const
{
    // Across the columns from the first to the last on screen.
    const int first = header()->logicalIndexAt(-header()->offset());
    const int last = header()->logicalIndexAt(header()->length() - header()->offset() - 1);
    return visualRect(index.siblingAtColumn(first)) | visualRect(index.siblingAtColumn(last));
}

void UserListTreeWidget::selectAlone(const QModelIndex& index)
{
    if (!selectionModel()->isRowSelected(index.row()))
        selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void UserListTreeWidget::headerClicked(int column)
{
    if (column != m_sortColumn)
        setSort(column, Qt::AscendingOrder);
    else if (m_sortOrder == Qt::AscendingOrder)
        setSort(column, Qt::DescendingOrder);
    else
        setSort(-1, Qt::AscendingOrder);
    emit sortChanged(m_sortColumn, m_sortOrder);
}

void UserListTreeWidget::setSort(int column, Qt::SortOrder order)
{
    m_sortColumn = column < 0 || column >= header()->count() ? -1 : column;
    m_sortOrder = order;
    applySort();
}

void UserListTreeWidget::applySort()
{
    m_sortTimer.stop();
    header()->setSortIndicatorShown(m_sortColumn >= 0);
    header()->setSortIndicator(m_sortColumn, m_sortOrder);
    // Column -1 is the order the rows were added in.
    if (model())
        model()->sort(m_sortColumn, m_sortColumn >= 0 ? m_sortOrder : Qt::AscendingOrder);
}

void UserListTreeWidget::sortSoon()
{
    if (m_sortColumn >= 0 && !m_sortTimer.isActive())
        m_sortTimer.start();
}

void UserListTreeWidget::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                     const QList<int>& roles)
{
    // Every probe result changes a row. The tree finds where a row is by walking its rows from
    // the last one it looked at, so each change of a row far from the screen, and each row of a
    // change of many, would cost a walk over tens of thousands: only the rows on screen are
    // passed on, and none while the list is not on screen. Rows are one line each, so a change
    // moves nothing else.
    if (!isVisible())
        return;
    const int top = indexAt(QPoint(0, 0)).row();
    const QModelIndex bottom = indexAt(QPoint(0, viewport()->height() - 1));
    const int first = std::max(topLeft.row(), std::max(top, 0));
    const int last = std::min(bottomRight.row(), bottom.isValid() ? bottom.row() : model()->rowCount() - 1);
    if (first <= last)
        QTreeView::dataChanged(topLeft.siblingAtRow(first), bottomRight.siblingAtRow(last), roles);
}

void UserListTreeWidget::keyPressEvent(QKeyEvent* event)
{
    const QModelIndex row = currentIndex();
    const bool menuKey = event->key() == Qt::Key_Menu
        || (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier);
    if (row.isValid() && menuKey) {
        selectAlone(row);
        scrollTo(row);
        m_runMenu(m_menu, viewport()->mapToGlobal(rowRect(row).intersected(viewport()->rect()).center()));
        return;
    }
    if (event->matches(QKeySequence::Copy)) {
        QGuiApplication::clipboard()->setText(selectedAddresses().join(QLatin1Char('\n')));
        return;
    }
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        removeSelected();
        return;
    }
    if (row.isValid() && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        emit detailsRequested(addressOf(row));
        return;
    }
    if (row.isValid() && event->key() == Qt::Key_F2) {
        selectAlone(row);
        EditTriggered();
        return;
    }
    QTreeView::keyPressEvent(event);
}

bool UserListTreeWidget::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip && m_toolTipSource) {
        const auto* help = static_cast<QHelpEvent*>(event);
        if (const QModelIndex cell = indexAt(help->pos()); cell.isValid()) {
            const QString text = m_toolTipSource(cell);
            if (!text.isEmpty()) {
                QToolTip::showText(help->globalPos(), text, viewport(), rowRect(cell));
                return true;
            }
        }
    }
    return QTreeView::viewportEvent(event);
}

void UserListTreeWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        const QModelIndex item = indexAt(event->position().toPoint());
        if (item.isValid()) {
            // A right-click inside a selection keeps it, so the menu acts on all of its rows.
            selectAlone(item);
            // The entries for one device ("Show on map") act on the row clicked, not on the one
            // the keyboard was at.
            selectionModel()->setCurrentIndex(item, QItemSelectionModel::NoUpdate);
        }
        m_runMenu(m_menu, event->globalPosition().toPoint());
        event->accept();
    }
    QTreeView::mousePressEvent(event);
}

void UserListTreeWidget::removeSelected()
{
    Data* store = Data::instance();
    QModelIndexList rows = selectionModel()->selectedRows();
    if (!store || rows.isEmpty())
        return;
    std::sort(rows.begin(), rows.end());
    // Each removal takes its row out of the list at once; read every address first.
    QStringList addresses;
    QStringList named;
    for (const QModelIndex& row : std::as_const(rows)) {
        addresses << addressOf(row);
        named << DeviceEntry::named(addresses.last(),
                                    row.siblingAtColumn(DeviceListModel::DescriptionColumn).data().toString());
    }
    const int shown = 10;
    QString list = QStringList(named.mid(0, shown)).join(QStringLiteral(", "));
    if (named.size() > shown)
        //: %1: the devices named, %n: how many more there are
        list = tr("%1 and %n more", nullptr, int(named.size() - shown)).arg(list);
    const QString question = addresses.size() == 1
        //: %1: the device, by its address and description
        ? tr("Remove %1 from the list?").arg(list)
        //: Asked of two devices or more; %1: the devices, by their addresses and descriptions
        : tr("Remove these %n devices from the list: %1?", nullptr, int(addresses.size())).arg(list);
    if (!m_confirm(this, question))
        return;
    // Thousands of rows at once go in one pass over the list, and out of the view together.
    auto* proxy = qobject_cast<QSortFilterProxyModel*>(model());
    auto* rowsModel = proxy ? qobject_cast<DeviceListModel*>(proxy->sourceModel()) : nullptr;
    if (rowsModel)
        rowsModel->holdRemovals();
    const auto release = qScopeGuard([rowsModel] {
        if (rowsModel)
            rowsModel->releaseRemovals();
    });
    store->removeEntries(QSet<QString>(addresses.cbegin(), addresses.cend()));
}

void UserListTreeWidget::RemoveTriggered()
{
    removeSelected();
}

void UserListTreeWidget::EditTriggered()
{
    Data* store = Data::instance();
    if (!store)
        return;
    // One dialog for all the selected rows.
    QList<DeviceEntry> chosen;
    for (const QString& ip : selectedAddresses()) {
        if (store->contains(ip))
            chosen << store->entry(ip);
    }
    if (!chosen.isEmpty())
        ModalDialog::open(new EditDeviceEntryDialog(chosen), this);
}

int UserListTreeWidget::shownContentWidth(int column) const
{
    int widest = 0;
    if (!viewport()->isVisible())
        return widest;
    const int bottom = viewport()->height();
    for (QModelIndex index = indexAt(QPoint(0, 0)); index.isValid(); index = indexBelow(index)) {
        if (visualRect(index).top() >= bottom)
            break;
        widest = std::max(widest, sizeHintForIndex(index.siblingAtColumn(column)).width());
    }
    return widest;
}

} // namespace Tarnwick
