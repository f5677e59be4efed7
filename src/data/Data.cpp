// SPDX-License-Identifier: GPL-3.0-or-later
#include "Data.h"

#include "CheckList.h"
#include "CheckRound.h"
#include "DataXmlHandler.h"
#include "DeviceAddedEvent.h"
#include "DeviceEntryChangedEvent.h"
#include "DeviceRemovedEvent.h"
#include "Settings.h"

#include <QCoreApplication>
#include <QHash>
#include <QMetaMethod>
#include <QMutexLocker>
#include <QSet>
#include <QXmlStreamWriter>

#include <algorithm>
#include <utility>

namespace Tarnwick {

std::atomic<Data*> Data::s_instance{nullptr};

namespace {

// The texts of the round trips most results have, each made once and shared: every result is
// given its text, and formatting a number costs more than the rest of taking it.
constexpr int SharedTexts = 1000;

const QStringList& sharedTexts(bool hundredths)
{
    static const auto make = [](bool fractions) {
        QStringList texts;
        texts.reserve(SharedTexts);
        for (int i = 0; i < SharedTexts; ++i)
            texts << (fractions ? QString::number(double(i) / 100.0, 'f', 2) : QString::number(i));
        return texts;
    };
    static const QStringList whole = make(false);
    static const QStringList fractions = make(true);
    return hundredths ? fractions : whole;
}

} // namespace

QString Data::resultText(const ProbeResult& result)
{
    if (result.kind == ProbeResult::Present)
        return PresentResult;
    if (!result.answered())
        return NoReplyResult;
    // A round trip on the local machine or link takes a fraction of a millisecond, which whole
    // milliseconds would show as 0; hundredths, and at least one, tell it from nothing.
    if (result.roundTripUs < 1000)
        return sharedTexts(true).at(qsizetype(std::max<std::int64_t>(result.roundTripUs / 10, 1)));
    const std::int64_t ms = result.roundTripMs();
    return ms < SharedTexts ? sharedTexts(false).at(qsizetype(ms)) : QString::number(ms);
}

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

bool Data::load(const QString& fileName, DocumentFile::Reporter reporter, const std::function<bool()>& stopRequested)
{
    m_file = DocumentFile(fileName, QStringLiteral("DeviceEntries"), DocumentFile::PartialReadPolicy::KeepCopy,
                          reporter);
    DataXmlHandler handler(*this, stopRequested, std::move(reporter));
    const bool complete = m_file.read(handler);
    m_savedRevision = m_revision;
    return complete;
}

FileReload Data::reload(DocumentFile::Reporter reporter)
{
    FileReload outcome;
    Data read;
    if (!read.load(fileName(), std::move(reporter))) {
        outcome.problem = DocumentFile::notReadReason(read.file());
        return outcome;
    }
    outcome.read = true;
    const QList<DeviceEntry> wanted = read.entries();
    QHash<QString, QList<DeviceCheck>> checks;
    for (const DeviceEntry& entry : wanted)
        checks.insert(entry.ip, QList<DeviceCheck>{entry.check} + entry.moreChecks);
    // Gone from the file, or asked another way: taken out in one pass (a long list swapped for
    // another must not cost a pass per device). The latter come back below, afresh: another
    // check's figures say nothing of the new one.
    QSet<QString> leaving;
    for (const DeviceEntry& entry : entries()) {
        const auto check = checks.constFind(entry.ip);
        if (check == checks.cend() || *check != QList<DeviceCheck>{entry.check} + entry.moreChecks) {
            ++(check == checks.cend() ? outcome.removed : outcome.changed);
            leaving.insert(entry.ip);
        }
    }
    removeEntries(leaving);
    for (const DeviceEntry& entry : wanted) {
        if (!contains(entry.ip)) {
            addEntry(entry);
            outcome.added += !leaving.contains(entry.ip);
            continue;
        }
        const DeviceEntry running = this->entry(entry.ip);
        if (running.type != entry.type || running.description != entry.description
            || running.informOnStateChange != entry.informOnStateChange || running.slowLimits != entry.slowLimits
            || running.echo != entry.echo) {
            changeEntry(entry.ip, entry.ip, entry.informOnStateChange, entry.description, entry.type, entry.check,
                        entry.slowLimits, entry.echo);
            ++outcome.changed;
        }
    }
    // The list is what the file says now: nothing to save.
    m_file = read.m_file;
    m_savedRevision = m_revision;
    return outcome;
}

bool Data::save()
{
    const int revision = m_revision;
    const QList<DeviceEntry> list = entries();
    if (!m_file.write([&list](QXmlStreamWriter& writer) { writeDocument(writer, list); }, revision != m_savedRevision))
        return false;
    m_savedRevision = revision;
    return true;
}

bool Data::hasUnsavedChanges() const
{
    return m_revision != m_savedRevision;
}

int Data::revision() const
{
    return m_revision;
}

void Data::writeDocument(QXmlStreamWriter& writer, const QList<DeviceEntry>& list)
{
    writer.writeStartElement(QStringLiteral("DeviceEntries"));
    for (const DeviceEntry& e : list) {
        writer.writeStartElement(QStringLiteral("DeviceEntry"));
        writer.writeAttribute(QStringLiteral("IP"), e.hasAddress() ? e.ip : QString());
        writer.writeAttribute(QStringLiteral("Type"), QString::number(e.type));
        writer.writeAttribute(QStringLiteral("IASC"),
                              e.informOnStateChange ? QStringLiteral("1") : QStringLiteral("0"));
        if (e.check.kind != DeviceCheck::Echo)
            writer.writeAttribute(QStringLiteral("Check"), e.check.attribute());
        // Only where there are any, so that a list without them is written as before; a reader
        // that knows no MoreChecks still reads the device with its first check.
        if (!e.moreChecks.isEmpty())
            writer.writeAttribute(QStringLiteral("MoreChecks"), CheckList::text(e.moreChecks));
        const auto writeLimit = [&writer](const QString& name, const std::optional<int>& limit) {
            if (limit)
                writer.writeAttribute(name, QString::number(*limit));
        };
        writeLimit(QStringLiteral("SlowAverageMs"), e.slowLimits.averageMs);
        writeLimit(QStringLiteral("SlowLossPercent"), e.slowLimits.lossPercent);
        writeLimit(QStringLiteral("SlowResults"), e.slowLimits.results);
        // Written only when set, so that a list without them is written as before.
        if (e.echo.payloadSize != EchoOptions::DefaultPayloadSize)
            writer.writeAttribute(QStringLiteral("PayloadSize"), QString::number(e.echo.payloadSize));
        if (e.echo.dontFragment)
            writer.writeAttribute(QStringLiteral("DontFragment"), QStringLiteral("1"));
        writer.writeCharacters(e.description);
        writer.writeEndElement();
    }
    writer.writeEndElement();
}

QMutexLocker<QMutex> Data::lock() const
{
    return QMutexLocker(&m_mutex);
}

void Data::connectReceiver(QObject* receiver, Reactions reactions, Qt::ConnectionType type)
{
    Q_ASSERT_X(receiver->thread() == thread(), "Data::connectReceiver",
               "receivers of the store live on the store's thread");
    if (reactions.changed)
        connect(this, &Data::DeviceEntryChanged, receiver, std::move(reactions.changed), type);
    if (reactions.added)
        connect(this, &Data::DeviceAdded, receiver, std::move(reactions.added), type);
    if (reactions.removed)
        connect(this, &Data::DeviceRemoved, receiver, std::move(reactions.removed), type);
}

qsizetype Data::indexOf(const QString& ip) const
{
    return m_firstIndex.value(ip).index;
}

void Data::rebuildIndex()
{
    QHash<QString, Place> before = std::exchange(m_firstIndex, {});
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        const QString& ip = m_entries.at(i).ip;
        if (m_firstIndex.contains(ip))
            continue;
        const auto kept = before.constFind(ip);
        m_firstIndex.insert(ip, {i, kept != before.cend() ? kept->slot : -1});
        if (kept != before.cend())
            before.erase(kept);
    }
    for (const Place& gone : std::as_const(before))
        giveBackSlot(gone.slot);
    for (Place& place : m_firstIndex) {
        if (place.slot < 0)
            place.slot = takeSlot();
    }
}

int Data::takeSlot()
{
    if (m_freeSlots.empty())
        return m_slotsGiven++;
    const int slot = m_freeSlots.back();
    m_freeSlots.pop_back();
    return slot;
}

void Data::giveBackSlot(int slot)
{
    if (slot >= 0)
        m_freeSlots.push_back(slot);
}

QList<DeviceEntry> Data::entries() const
{
    auto locked = lock();
    return m_entries;
}

DeviceEntry Data::entry(const QString& ip) const
{
    return readEntry(ip, [](const DeviceEntry* entry) { return entry ? *entry : DeviceEntry(); });
}

bool Data::contains(const QString& ip) const
{
    return readEntry(ip, [](const DeviceEntry* entry) { return entry != nullptr; });
}

void Data::addEntry(const DeviceEntry& entry)
{
    DeviceEntry added = entry;
    {
        auto locked = lock();
        if (indexOf(entry.ip) >= 0)
            return;
        // A device added while the monitor runs has never been probed: its "disconnected" is
        // only the default, and its first result is no change of state.
        if (m_newEntriesAwaitFirstResult)
            added.awaitingFirstResult = true;
        m_firstIndex.insert(added.ip, {m_entries.size(), takeSlot()});
        m_entries.append(added);
        ++m_revision;
    }
    // Loading at start-up adds every entry before anyone listens: no record is needed then.
    if (!isSignalConnected(QMetaMethod::fromSignal(&Data::DeviceAdded)))
        return;
    auto event = std::make_shared<DeviceAddedEvent>(added);
    emit DeviceAdded(event.get());
    releaseAfterDelivery({std::move(event)});
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
        // Later entries moved up, and a second entry with that address may now come first. The
        // index is mended rather than made anew: with 100,000 devices that took 80 ms a removal.
        const int slot = m_firstIndex.take(ip).slot;
        for (Place& at : m_firstIndex) {
            if (at.index > i)
                --at.index;
        }
        bool stillListed = false;
        for (qsizetype later = i; later < m_entries.size() && !stillListed; ++later) {
            stillListed = m_entries.at(later).ip == ip;
            if (stillListed)
                m_firstIndex.insert(ip, {later, slot});
        }
        if (!stillListed)
            giveBackSlot(slot);
        m_streaks.remove(ip);
        ++m_revision;
    }
    auto event = std::make_shared<DeviceRemovedEvent>(removed);
    emit DeviceRemoved(event.get());
    releaseAfterDelivery({std::move(event)});
}

void Data::removeEntries(const QSet<QString>& ips)
{
    QList<DeviceEntry> removed;
    {
        auto locked = lock();
        QList<DeviceEntry> kept;
        kept.reserve(m_entries.size());
        for (DeviceEntry& entry : m_entries) {
            if (ips.contains(entry.ip)) {
                m_streaks.remove(entry.ip);
                removed.append(std::move(entry));
            } else {
                kept.append(std::move(entry));
            }
        }
        // Every entry has been moved out of the list: it takes those kept, whether any went.
        m_entries.swap(kept);
        if (removed.isEmpty())
            return;
        rebuildIndex();
        ++m_revision;
    }
    std::vector<std::shared_ptr<StoreEvent>> events;
    events.reserve(std::size_t(removed.size()));
    for (const DeviceEntry& entry : removed) {
        auto event = std::make_shared<DeviceRemovedEvent>(entry);
        emit DeviceRemoved(event.get());
        events.push_back(std::move(event));
    }
    releaseAfterDelivery(std::move(events));
}

void Data::changeEntry(const QString& keyIp, const QString& newIp, bool informOnStateChange, const QString& description,
                       int type, const std::optional<DeviceCheck>& check,
                       const std::optional<DeviceEntry::SlowLimits>& slowLimits, const std::optional<EchoOptions>& echo,
                       const std::optional<QList<DeviceCheck>>& moreChecks)
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
        if (check)
            e.check = *check;
        if (slowLimits)
            e.slowLimits = *slowLimits;
        if (echo)
            e.echo = *echo;
        // Results of the checks asked before say nothing of others.
        if (moreChecks && *moreChecks != e.moreChecks) {
            e.moreChecks = *moreChecks;
            e.moreProbes.clear();
        }
        if (newIp != keyIp) {
            rebuildIndex();
            m_streaks.remove(keyIp);
            m_streaks.remove(newIp);
        }
        ++m_revision;
        event = std::make_shared<DeviceEntryChangedEvent>(e, old);
    }
    emit DeviceEntryChanged(event.get());
    releaseAfterDelivery({std::move(event)});
}

std::shared_ptr<DeviceEntryChangedEvent> Data::takeResult(const ProbeRecord& record, int* slot)
{
    const QString& ip = record.device;
    const Place place = m_firstIndex.value(ip);
    const qsizetype i = place.index;
    *slot = place.slot;
    if (i < 0
        || (record.check && (*record.check != m_entries[i].check || record.moreChecks != m_entries[i].moreChecks)))
        return nullptr;
    DeviceEntry& e = m_entries[i];
    DeviceEntry old = e;
    if (!e.moreChecks.isEmpty()) {
        e.moreProbes = record.moreResults;
        e.moreProbes.resize(e.moreChecks.size(), ProbeResult::timeout());
    }
    const ProbeResult result = CheckRound::outcome(e.check, record.result, e.moreChecks, e.moreProbes);
    e.pingResult = resultText(result);
    e.lastProbe = result;
    // The state follows the results only once enough of them in a row say so: a device that
    // misses one reply on a lossy link does not flap between the two states.
    const bool answered = result.heard();
    const int said = answered ? DeviceStateConnected : DeviceStateDisconnected;
    // Only streaks under way are kept: most results agree with the state, and forgetting
    // nothing from an empty or small table costs next to nothing with thousands of devices.
    if (e.awaitingFirstResult) {
        e.awaitingFirstResult = false;
        e.state = said;
        m_streaks.remove(ip);
    } else if (e.state == said) {
        m_streaks.remove(ip);
    } else {
        const int needed = !m_settings ? 1
            : answered                 ? m_settings->connectAfter.load()
                                       : m_settings->disconnectAfter.load();
        if (++m_streaks[ip] >= needed) {
            e.state = said;
            m_streaks.remove(ip);
        }
    }
    return std::make_shared<DeviceEntryChangedEvent>(e, std::move(old));
}

QList<ProbeRecord> Data::setPingResults(const QList<ProbeRecord>& results)
{
    Q_ASSERT_X(QThread::currentThread() == thread(), "Data::setPingResults", "results are taken on the store's thread");
    std::vector<std::shared_ptr<StoreEvent>> events;
    events.reserve(std::size_t(results.size()));
    QList<ProbeRecord> taken;
    taken.reserve(results.size());
    for (const ProbeRecord& record : results) {
        std::shared_ptr<DeviceEntryChangedEvent> event;
        int slot = -1;
        {
            auto locked = lock();
            event = takeResult(record, &slot);
        }
        if (!event)
            continue;
        taken.append(record);
        taken.last().slot = slot;
        emit DeviceEntryChanged(event.get());
        events.push_back(std::move(event));
    }
    // One release for the whole batch: receivers here have run, queued ones hold the records.
    releaseAfterDelivery(std::move(events));
    return taken;
}

void Data::awaitFirstResults()
{
    auto locked = lock();
    m_newEntriesAwaitFirstResult = true;
    for (DeviceEntry& e : m_entries)
        e.awaitingFirstResult = true;
}

void Data::releaseAfterDelivery(std::vector<std::shared_ptr<StoreEvent>> events)
{
    // Receivers on this thread have run by now. Queued deliveries to the application's
    // thread were posted before this release, and posted events are handled in order, so
    // the records outlive them. The application object rather than the store carries the
    // release, so that deliveries still queued when the store is destroyed stay valid.
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || events.empty())
        return;
    QMetaObject::invokeMethod(
        app, [events = std::move(events)] {}, Qt::QueuedConnection);
}

} // namespace Tarnwick
