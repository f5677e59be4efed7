#include "UserListTreeWidget.h"

#include "EditDeviceEntryDialog.h"
#include "ModalDialog.h"
#include "data/Data.h"

#include <QMenu>
#include <QMouseEvent>

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
