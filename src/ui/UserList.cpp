#include "UserList.h"

#include "UserListTreeWidget.h"
#include "data/DeviceAddedEvent.h"
#include "data/DeviceEntryChangedEvent.h"
#include "data/DeviceRemovedEvent.h"
#include "skin/DevicePictures.h"
#include "skin/SkinResources.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QMutexLocker>

namespace Tarnwick {

namespace {

enum Column { StateColumn, TypeColumn, AddressColumn, ResultColumn, DescriptionColumn, InformColumn };

QString yesNo(bool value)
{
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

} // namespace

UserList::UserList(QWidget* parent)
    : QWidget(parent)
    , m_tree(new UserListTreeWidget(this))
{
    m_tree->setObjectName(QStringLiteral("deviceTree"));
    m_tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_tree->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tree->setSortingEnabled(false);
    m_tree->setRootIsDecorated(false);
    m_tree->setHeaderLabels({QStringLiteral("A"), QStringLiteral("T"), QStringLiteral("IP"), QStringLiteral("[ms]"),
                             QStringLiteral("Description"), QStringLiteral("Information on state change")});
    // The header's own minimum would widen the narrow type column past its 24 px.
    m_tree->header()->setMinimumSectionSize(16);
    const int widths[] = {54, 24, 100, 60, 100, 100};
    for (int column = 0; column < 6; ++column)
        m_tree->setColumnWidth(column, widths[column]);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_tree);
}

QTreeWidgetItem* UserList::firstRow(const QString& ip) const
{
    const auto it = m_rowsByAddress.constFind(ip);
    return it == m_rowsByAddress.cend() || it->isEmpty() ? nullptr : it->first();
}

void UserList::addEntryRow(const DeviceEntry& entry)
{
    auto* row = new QTreeWidgetItem;
    const QString stateIcon = DevicePictures::forState(entry.state);
    if (!stateIcon.isEmpty())
        row->setIcon(StateColumn, SkinResources::icon(stateIcon));
    const QString typeIcon = DevicePictures::forType(entry.type);
    if (!typeIcon.isEmpty())
        row->setIcon(TypeColumn, SkinResources::icon(typeIcon));
    row->setText(AddressColumn, entry.ip);
    row->setText(ResultColumn, entry.pingResult);
    row->setText(DescriptionColumn, entry.description);
    row->setText(InformColumn, yesNo(entry.informOnStateChange));
    m_tree->addTopLevelItem(row);
    m_rowsByAddress[entry.ip].append(row);
}

void UserList::DeviceAdded(DeviceAddedEvent* pEvent)
{
    QMutexLocker lock(&m_mutex);
    addEntryRow(pEvent->entry());
}

void UserList::DeviceRemoved(DeviceRemovedEvent* pEvent)
{
    QMutexLocker lock(&m_mutex);
    const QString ip = pEvent->entry().ip;
    QTreeWidgetItem* row = firstRow(ip);
    if (!row)
        return;
    QList<QTreeWidgetItem*>& rows = m_rowsByAddress[ip];
    rows.removeFirst();
    if (rows.isEmpty())
        m_rowsByAddress.remove(ip);
    delete row;
}

void UserList::DeviceEntryChanged(DeviceEntryChangedEvent* pEvent)
{
    QMutexLocker lock(&m_mutex);
    const DeviceEntry after = pEvent->newEntry();
    const DeviceEntry before = pEvent->oldEntry();
    // Rows keep the address they were added with; the entry is found by its old address.
    QTreeWidgetItem* row = firstRow(before.ip);
    if (!row)
        return;
    row->setText(ResultColumn, after.pingResult);
    row->setText(DescriptionColumn, after.description);
    // Icons never compare equal, so setting the same one again would repaint the row for
    // every probe result; the type rarely changes.
    const QString typeIcon = DevicePictures::forType(after.type);
    if (!typeIcon.isEmpty() && after.type != before.type)
        row->setIcon(TypeColumn, SkinResources::icon(typeIcon));
    row->setText(InformColumn, yesNo(after.informOnStateChange));
    if (after.state != before.state) {
        const QString stateIcon = DevicePictures::forState(after.state);
        if (!stateIcon.isEmpty())
            row->setIcon(StateColumn, SkinResources::icon(stateIcon));
    }
}

} // namespace Tarnwick
