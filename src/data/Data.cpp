#include "Data.h"

#include "DataXmlHandler.h"
#include "DeviceAddedEvent.h"
#include "DeviceEntryChangedEvent.h"
#include "DeviceRemovedEvent.h"

#include <QCoreApplication>
#include <QMutexLocker>
#include <QXmlStreamWriter>

namespace Tarnwick {

std::atomic<Data*> Data::s_instance{nullptr};

Data::Data(QObject* parent)
    : QObject(parent)
{
}

Data::~Data()
{
    Data* self = this;
    s_instance.compare_exchange_strong(self, nullptr);
}

Data* Data::instance()
{
    return s_instance;
}

void Data::setInstance(Data* data)
{
    s_instance = data;
}

Data* Data::ensureInstance()
{
    if (!s_instance)
        s_instance = new Data;
    return s_instance;
}

QString Data::fileName() const
{
    return m_file.fileName();
}

bool Data::load(const QString& fileName)
{
    m_file = DocumentFile(fileName);
    DataXmlHandler handler(*this);
    return m_file.read(handler);
}

bool Data::save()
{
    const QList<DeviceEntry> list = entries();
    return m_file.write([&list](QXmlStreamWriter& writer) {
        writer.writeStartElement(QStringLiteral("DeviceEntries"));
        for (const DeviceEntry& e : list) {
            writer.writeStartElement(QStringLiteral("DeviceEntry"));
            writer.writeAttribute(QStringLiteral("IP"), e.ip);
            writer.writeAttribute(QStringLiteral("Type"), QString::number(e.type));
            writer.writeAttribute(QStringLiteral("IASC"),
                                  e.informOnStateChange ? QStringLiteral("1") : QStringLiteral("0"));
            writer.writeCharacters(e.description);
            writer.writeEndElement();
        }
        writer.writeEndElement();
    });
}

QMutexLocker<QMutex> Data::lock() const
{
    Q_ASSERT_X(m_emittingUnderLock.load() != QThread::currentThread(), "Data",
               "a receiver of setPingResult's announcement ran on the reporting thread and called back "
               "into the store; receivers must live on another thread or be connected queued");
    return QMutexLocker(&m_mutex);
}

int Data::undeliveredAnnouncements() const
{
    return m_undelivered->load();
}

qsizetype Data::indexOf(const QString& ip) const
{
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        if (m_entries.at(i).ip == ip)
            return i;
    }
    return -1;
}

QList<DeviceEntry> Data::entries() const
{
    auto locked = lock();
    return m_entries;
}

DeviceEntry Data::entry(const QString& ip) const
{
    auto locked = lock();
    const qsizetype i = indexOf(ip);
    return i < 0 ? DeviceEntry() : m_entries.at(i);
}

void Data::addEntry(const DeviceEntry& entry)
{
    {
        auto locked = lock();
        if (indexOf(entry.ip) >= 0)
            return;
        m_entries.append(entry);
    }
    auto event = std::make_shared<DeviceAddedEvent>(entry);
    emit DeviceAdded(event.get());
    releaseAfterDelivery(std::move(event));
}

void Data::removeEntry(const QString& ip)
{
    DeviceEntry removed;
    {
        auto locked = lock();
        const qsizetype i = indexOf(ip);
        if (i < 0)
            return;
        removed = m_entries.takeAt(i);
    }
    auto event = std::make_shared<DeviceRemovedEvent>(removed);
    emit DeviceRemoved(event.get());
    releaseAfterDelivery(std::move(event));
}

void Data::changeEntry(const QString& keyIp, const QString& newIp, bool informOnStateChange, const QString& description,
                       int type)
{
    std::shared_ptr<DeviceEntryChangedEvent> event;
    {
        auto locked = lock();
        const qsizetype i = indexOf(keyIp);
        if (i < 0)
            return;
        DeviceEntry& e = m_entries[i];
        const DeviceEntry old = e;
        e.informOnStateChange = informOnStateChange;
        e.ip = newIp;
        e.description = description;
        e.type = type;
        event = std::make_shared<DeviceEntryChangedEvent>(e, old);
    }
    emit DeviceEntryChanged(event.get());
    releaseAfterDelivery(std::move(event));
}

void Data::setPingResult(const QString& ip, const QString& result)
{
    auto locked = lock();
    const qsizetype i = indexOf(ip);
    if (i < 0)
        return;
    DeviceEntry& e = m_entries[i];
    const DeviceEntry old = e;
    e.pingResult = result;
    e.state = result == NoReplyResult ? DeviceStateDisconnected : DeviceStateConnected;
    // Emitted under the lock so that announcements leave in the order the changes were made.
    auto event = std::make_shared<DeviceEntryChangedEvent>(e, old);
    m_emittingUnderLock = QThread::currentThread();
    emit DeviceEntryChanged(event.get());
    m_emittingUnderLock = nullptr;
    locked.unlock();
    releaseAfterDelivery(std::move(event));
}

void Data::releaseAfterDelivery(std::shared_ptr<StoreEvent> event)
{
    // Receivers on this thread have run by now. Queued deliveries to the application's
    // thread were posted before this release, and posted events are handled in order, so
    // the record outlives them. The application object rather than the store carries the
    // release, so that deliveries still queued when the store is destroyed stay valid.
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    ++*m_undelivered;
    QMetaObject::invokeMethod(
        app, [event = std::move(event), undelivered = m_undelivered]() { --*undelivered; }, Qt::QueuedConnection);
}

} // namespace Tarnwick
