#include "UserListTreeWidget.h"

#include "EditDeviceEntryDialog.h"
#include "ModalDialog.h"
#include "data/Data.h"

#include <QMenu>
#include <QMouseEvent>
#include <QToolTip>

namespace Tarnwick {

namespace {
constexpr int AddressColumn = 2;
}

UserListTreeWidget::UserListTreeWidget(QWidget* parent)
    : QTreeWidget(parent)
    , m_menu(new QMenu(this))
    , m_removeAction(m_menu->addAction(QStringLiteral("Remove")))
    , m_editAction(m_menu->addAction(QStringLiteral("Edit")))
    , m_runMenu([](QMenu* menu, const QPoint& at) { menu->exec(at); })
{
    connect(m_removeAction, &QAction::triggered, this, &UserListTreeWidget::RemoveTriggered);
    connect(m_editAction, &QAction::triggered, this, &UserListTreeWidget::EditTriggered);
    m_menu->addSeparator();
    QAction* details = m_menu->addAction(QStringLiteral("Details"));
    connect(details, &QAction::triggered, this, [this] {
        const QList<QTreeWidgetItem*> rows = selectedItems();
        if (!rows.isEmpty())
            emit detailsRequested((rows.contains(currentItem()) ? currentItem() : rows.first())->text(AddressColumn));
    });
    connect(m_menu->addAction(QStringLiteral("Export list as CSV...")), &QAction::triggered, this,
            &UserListTreeWidget::exportListRequested);
    connect(this, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* row) { emit detailsRequested(row->text(AddressColumn)); });
}

void UserListTreeWidget::setToolTipSource(ToolTipSource source)
{
    m_toolTipSource = std::move(source);
}

void UserListTreeWidget::keyPressEvent(QKeyEvent* event)
{
    QTreeWidgetItem* row = currentItem();
    if (row && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        emit detailsRequested(row->text(AddressColumn));
        return;
    }
    if (row && event->key() == Qt::Key_F2) {
        if (!row->isSelected()) {
            clearSelection();
            row->setSelected(true);
        }
        EditTriggered();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

bool UserListTreeWidget::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip && m_toolTipSource) {
        const auto* help = static_cast<QHelpEvent*>(event);
        if (QTreeWidgetItem* row = itemAt(help->pos())) {
            const QString text = m_toolTipSource(row, columnAt(help->pos().x()));
            if (!text.isEmpty()) {
                QToolTip::showText(help->globalPos(), text, viewport(), visualItemRect(row));
                return true;
            }
        }
    }
    return QTreeWidget::viewportEvent(event);
}

void UserListTreeWidget::setMenuRunner(MenuRunner runner)
{
    m_runMenu = std::move(runner);
}

void UserListTreeWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        QTreeWidgetItem* item = itemAt(event->position().toPoint());
        // A right-click inside a selection keeps it, so the menu acts on all of its rows.
        if (item && !item->isSelected()) {
            clearSelection();
            item->setSelected(true);
        }
        m_runMenu(m_menu, event->globalPosition().toPoint());
        event->accept();
    }
    QTreeWidget::mousePressEvent(event);
}

void UserListTreeWidget::RemoveTriggered()
{
    Data* store = Data::instance();
    if (!store)
        return;
    // Each removal takes its row out of the tree at once; read every address first.
    QStringList addresses;
    for (const QTreeWidgetItem* item : selectedItems())
        addresses << item->text(AddressColumn);
    for (const QString& ip : addresses)
        store->removeEntry(ip);
}

void UserListTreeWidget::EditTriggered()
{
    Data* store = Data::instance();
    if (!store)
        return;
    for (const QTreeWidgetItem* item : selectedItems()) {
        const QString ip = item->text(AddressColumn);
        const QList<DeviceEntry> entries = store->entries();
        const auto found = std::find_if(entries.begin(), entries.end(),
                                        [&](const DeviceEntry& e) { return e.ip == ip; });
        if (found == entries.end())
            continue;
        ModalDialog::open(new EditDeviceEntryDialog(*found), this);
    }
}

} // namespace Tarnwick
