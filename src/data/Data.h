// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DeviceAddedEvent.h"
#include "DeviceEntry.h"
#include "DeviceEntryChangedEvent.h"
#include "DeviceRemovedEvent.h"
#include "DocumentFile.h"
#include "FileReload.h"
#include "ProbeRecord.h"
#include "ProbeResult.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QXmlStreamWriter;

namespace Tarnwick {

class Settings;

// The one list of monitored devices. Every change goes through it and is announced by a
// signal carrying an event record; the record stays valid until every receiver of that
// emission has run.
//
// Threading rule: the list is read from any thread under the store's lock; it changes, and
// announces its changes, on the store's own thread alone (probe results too, through
// setPingResults), so that receivers run in the order of the changes and may read the store.
class Data : public QObject
{
    Q_OBJECT

public:
    explicit Data(QObject* parent = nullptr);
    ~Data() override;

    // The settings whose counts decide when results change a device's state ("Disconnected
    // after N missed replies"); without any, each result that disagrees changes it at once.
    void setSettings(const Settings* settings) { m_settings = settings; }

    static Data* instance();
    static void setInstance(Data* data);
    // The published store, publishing a new empty one first where none exists yet.
    static Data* ensureInstance();

    // Reads the device list file; true when it was read whole. A file that could not be
    // read at all is never written over (see DocumentFile); file() says why. Failed saves
    // are told to reporter. stopRequested, where given, is asked between the entries: true gives
    // the reading up (the program is quitting), and the file is then never saved over.
    bool load(const QString& fileName, DocumentFile::Reporter reporter = {},
              const std::function<bool()>& stopRequested = {});
    bool save();
    // Reads the list file again and makes the running list what it says: an entry whose address
    // and check are unchanged keeps its state and results (its other fields follow the file),
    // new addresses are added as not yet probed, missing ones removed, and an entry whose check
    // changed starts afresh. A file that cannot be read whole changes nothing. On the store's
    // thread; announced as the user's own changes are.
    FileReload reload(DocumentFile::Reporter reporter = {});
    QString fileName() const;
    const DocumentFile& file() const { return m_file; }
    // Whether the user changed the list (added, removed or edited entries) since it was
    // loaded or last saved; probe results do not count.
    bool hasUnsavedChanges() const;
    // Counts the user's changes to the list; probe results leave it as it is.
    int revision() const;

    QList<DeviceEntry> entries() const;
    DeviceEntry entry(const QString& ip) const;
    bool contains(const QString& ip) const;
    // Reads one entry where it stands, under the store's lock, rather than copying it whole:
    // for what runs on every result. read gets nullptr for an address not in the list, and
    // must not call the store.
    template <typename Read>
    auto readEntry(const QString& ip, Read read) const
    {
        auto locked = lock();
        const qsizetype i = indexOf(ip);
        return read(i < 0 ? nullptr : &m_entries.at(i));
    }

    void addEntry(const DeviceEntry& entry);
    void removeEntry(const QString& ip);
    // Removes every entry with one of the addresses at once (one pass over the list, however
    // many go), announcing each as removeEntry does.
    void removeEntries(const QSet<QString>& ips);
    // check, slowLimits, echo, moreChecks: none keeps the entry's own.
    void changeEntry(const QString& keyIp, const QString& newIp, bool informOnStateChange, const QString& description,
                     int type, const std::optional<DeviceCheck>& check = std::nullopt,
                     const std::optional<DeviceEntry::SlowLimits>& slowLimits = std::nullopt,
                     const std::optional<EchoOptions>& echo = std::nullopt,
                     const std::optional<QList<DeviceCheck>>& moreChecks = std::nullopt);
    // The one way probe results enter the store: takes them in the order given, on the store's
    // own thread. Each result's text (the round trip in whole milliseconds, or NoReplyResult,
    // PresentResult) is made here once, for the files and the list, beside the outcome itself.
    // Each change is announced once the lock is let go, so the receivers run directly, in the
    // order of the changes, and may read the store. Returns the results taken: those of devices
    // still in the list, asked with the check they have.
    QList<ProbeRecord> setPingResults(const QList<ProbeRecord>& results);
    // A result as the files and the list show it: "12", "0.35", NoReplyResult or PresentResult.
    static QString resultText(const ProbeResult& result);
    // Marks every entry as not probed since start (see DeviceEntry::awaitingFirstResult), and
    // every entry added from now on as not probed yet: the monitor runs, and only its first
    // result tells the state of a device.
    void awaitFirstResults();

    // What a receiver does with each kind of announcement; a kind left empty is not connected.
    struct Reactions
    {
        std::function<void(DeviceEntryChangedEvent* pEvent)> changed{};
        std::function<void(DeviceAddedEvent* pEvent)> added{};
        std::function<void(DeviceRemovedEvent* pEvent)> removed{};
    };

    // Connects the receiver's slots that bear the signals' names to those signals. The
    // receiver lives on the store's thread, so results reported from a worker thread reach it
    // queued.
    template <typename Receiver>
    void connectReceiver(Receiver* receiver, Qt::ConnectionType type = Qt::AutoConnection)
    {
        Q_ASSERT_X(receiver->thread() == thread(), "Data::connectReceiver",
                   "receivers of the store live on the store's thread");
        // A receiver has the slots of the announcements it cares for.
        if constexpr (requires { &Receiver::DeviceEntryChanged; })
            connect(this, &Data::DeviceEntryChanged, receiver, &Receiver::DeviceEntryChanged, type);
        if constexpr (requires { &Receiver::DeviceRemoved; })
            connect(this, &Data::DeviceRemoved, receiver, &Receiver::DeviceRemoved, type);
        if constexpr (requires { &Receiver::DeviceAdded; })
            connect(this, &Data::DeviceAdded, receiver, &Receiver::DeviceAdded, type);
    }
    // The same for a receiver that reacts through functors: they run on the receiver's thread,
    // and no more once it has gone.
    void connectReceiver(QObject* receiver, Reactions reactions, Qt::ConnectionType type = Qt::AutoConnection);

signals:
    void DeviceEntryChanged(Tarnwick::DeviceEntryChangedEvent* pEvent);
    void DeviceAdded(Tarnwick::DeviceAddedEvent* pEvent);
    void DeviceRemoved(Tarnwick::DeviceRemovedEvent* pEvent);

private:
    QMutexLocker<QMutex> lock() const;
    // The position of the first entry with that address, or -1; kept in an index beside
    // the list so that a look-up costs the same for ten entries as for a hundred thousand.
    qsizetype indexOf(const QString& ip) const;
    // Makes the index anew from the list; an address still listed keeps its slot.
    void rebuildIndex();
    // A slot for an address that joins the list, and back when it leaves it.
    int takeSlot();
    void giveBackSlot(int slot);
    static void writeDocument(QXmlStreamWriter& writer, const QList<DeviceEntry>& list);
    // Applies a result to the entry with its address, under the lock; none for a device no longer
    // in the list, or asked with another check than it has now.
    std::shared_ptr<DeviceEntryChangedEvent> takeResult(const ProbeRecord& record, int* slot);
    void releaseAfterDelivery(std::vector<std::shared_ptr<StoreEvent>> events);

    QList<DeviceEntry> m_entries;
    // Where each address first stands in the list, and the slot it holds while it is listed:
    // a small number, given back when the address leaves and then given to the next one.
    struct Place
    {
        qsizetype index = -1;
        int slot = -1;
    };
    QHash<QString, Place> m_firstIndex;
    std::vector<int> m_freeSlots;
    int m_slotsGiven = 0;
    // For each address whose last results disagree with its state, how many in a row have.
    QHash<QString, int> m_streaks;
    DocumentFile m_file;
    // Counts the user's changes, on the store's thread only.
    // Read without the lock by receivers the store calls while it holds it.
    std::atomic<int> m_revision = 0;
    int m_savedRevision = 0;
    bool m_newEntriesAwaitFirstResult = false;
    mutable QMutex m_mutex;
    const Settings* m_settings = nullptr;

    static std::atomic<Data*> s_instance;
};

} // namespace Tarnwick
