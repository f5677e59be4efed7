#pragma once

#include <QHash>
#include <QMutex>
#include <QWidget>

class QTreeWidgetItem;

namespace Tarnwick {

class DeviceAddedEvent;
class DeviceEntry;
class DeviceEntryChangedEvent;
class DeviceRemovedEvent;
class UserListTreeWidget;

// The device list tab: one row per entry of the store, following the store's signals.
class UserList : public QWidget
{
    Q_OBJECT

public:
    explicit UserList(QWidget* parent = nullptr);

    void addEntryRow(const DeviceEntry& entry);
    UserListTreeWidget* tree() const { return m_tree; }

public slots:
    void DeviceEntryChanged(Tarnwick::DeviceEntryChangedEvent* pEvent);
    void DeviceAdded(Tarnwick::DeviceAddedEvent* pEvent);
    void DeviceRemoved(Tarnwick::DeviceRemovedEvent* pEvent);

private:
    // The first row whose address column equals ip exactly, or none.
    QTreeWidgetItem* firstRow(const QString& ip) const;

    UserListTreeWidget* m_tree;
    QMutex m_mutex;
    // Rows by their address, in tree order, so that a probe result finds its row without a scan.
    QHash<QString, QList<QTreeWidgetItem*>> m_rowsByAddress;
};

} // namespace Tarnwick
