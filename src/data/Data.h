#pragma once

#include "DeviceAddedEvent.h"
#include "DeviceEntry.h"
#include "DeviceEntryChangedEvent.h"
#include "DeviceRemovedEvent.h"
#include "DocumentFile.h"

#include <QList>
#include <QMutex>
#include <QObject>

#include <atomic>

#include <memory>

namespace Tarnwick {


// The one list of monitored devices. Every change goes through it and is announced by a
// signal carrying an event record; the record stays valid until every receiver of that
// emission has run. Receivers are expected to live on the store's thread.
class Data : public QObject
{
    Q_OBJECT

public:
    explicit Data(QObject* parent = nullptr);
    ~Data() override;

    static Data* instance();
    static void setInstance(Data* data);
    // The published store, publishing a new empty one first where none exists yet.
    static Data* ensureInstance();

    bool load(const QString& fileName);
    bool save();
    QString fileName() const;

    QList<DeviceEntry> entries() const;
    DeviceEntry entry(const QString& ip) const;

    void addEntry(const DeviceEntry& entry);
    void removeEntry(const QString& ip);
    void changeEntry(const QString& keyIp, const QString& newIp, bool informOnStateChange,
                     const QString& description, int type);
    void setPingResult(const QString& ip, const QString& result);

    // Connects the receiver's slots that bear the signals' names to all three signals.
    template <typename Receiver>
    void connectReceiver(Receiver* receiver, Qt::ConnectionType type = Qt::AutoConnection)
    {
        connect(this, &Data::DeviceEntryChanged, receiver, &Receiver::DeviceEntryChanged, type);
        connect(this, &Data::DeviceRemoved, receiver, &Receiver::DeviceRemoved, type);
        connect(this, &Data::DeviceAdded, receiver, &Receiver::DeviceAdded, type);
    }

signals:
    void DeviceEntryChanged(Tarnwick::DeviceEntryChangedEvent* pEvent);
    void DeviceAdded(Tarnwick::DeviceAddedEvent* pEvent);
    void DeviceRemoved(Tarnwick::DeviceRemovedEvent* pEvent);

private:
    qsizetype indexOf(const QString& ip) const;
    void releaseAfterDelivery(std::shared_ptr<StoreEvent> event);

    QList<DeviceEntry> m_entries;
    DocumentFile m_file;
    mutable QMutex m_mutex;

    static std::atomic<Data*> s_instance;
};

} // namespace Tarnwick
