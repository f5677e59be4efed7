// SPDX-License-Identifier: GPL-3.0-or-later
#include "NetworkInventory.h"

#include "PhraseBook.h"

#include <QSet>

namespace Tarnwick {

NetworkInventory::NetworkInventory(QObject* parent)
    : QObject(parent)
{
}

void NetworkInventory::load(const QList<InventoryEntry>& entries)
{
    m_entries.clear();
    m_holder.clear();
    // Oldest heard first, so that an address held by several is the latest one's.
    QList<InventoryEntry> byTime = entries;
    std::sort(byTime.begin(), byTime.end(),
              [](const InventoryEntry& a, const InventoryEntry& b) { return a.lastSeen < b.lastSeen; });
    for (const InventoryEntry& entry : std::as_const(byTime)) {
        m_entries.insert(entry.hardwareAddress, entry);
        if (!entry.addresses.isEmpty())
            m_holder.insert(entry.addresses.first(), entry.hardwareAddress);
    }
}

const InventoryEntry* NetworkInventory::entry(const QString& hardwareAddress) const
{
    const auto it = m_entries.constFind(hardwareAddress);
    return it == m_entries.cend() ? nullptr : &*it;
}

bool NetworkInventory::isKnown(const InventoryEntry& entry) const
{
    return entry.markedKnown || isListed(entry);
}

bool NetworkInventory::isListed(const InventoryEntry& entry) const
{
    return m_listed && std::any_of(entry.addresses.cbegin(), entry.addresses.cend(), m_listed);
}

namespace {

// How an address ranks for standing first: an IPv4 address is the one a user knows a device by,
// then a global IPv6 one; a link-local one (with its "%link") last.
int rankOf(const QString& address)
{
    if (!address.contains(QLatin1Char(':')))
        return 0;
    return address.startsWith(QLatin1String("fe80:"), Qt::CaseInsensitive) ? 2 : 1;
}

} // namespace

void NetworkInventory::holdAddress(InventoryEntry& entry, const QString& address)
{
    entry.addresses.removeOne(address);
    // The latest first among those of its rank.
    const int rank = rankOf(address);
    qsizetype at = 0;
    while (at < entry.addresses.size() && rankOf(entry.addresses.at(at)) < rank)
        ++at;
    entry.addresses.insert(at, address);
    while (entry.addresses.size() > MaxAddresses)
        entry.addresses.removeLast();
    m_holder.insert(address, entry.hardwareAddress);
}

QList<InventoryEvent> NetworkInventory::merge(const QList<NetworkSighting>& seen, const QDateTime& now, bool baseline)
{
    // For how many addresses each piece of hardware answered this round.
    QHash<QString, int> addressCount;
    for (const NetworkSighting& sighting : seen)
        ++addressCount[sighting.hardwareAddress];
    QList<InventoryEvent> events;
    // One change of hardware told once a round, at the first address it shows at (the IPv4 one,
    // which the sweep hears first), not again at each IPv6 address the device holds.
    QSet<QPair<QString, QString>> changesTold;
    QStringList touched;
    QSet<QString> touchedSet;
    for (const NetworkSighting& sighting : seen) {
        const QString& hardware = sighting.hardwareAddress;
        const bool isNew = !m_entries.contains(hardware);
        InventoryEntry& entry = m_entries[hardware];
        if (isNew) {
            entry.hardwareAddress = hardware;
            entry.firstSeen = now;
        }
        entry.lastSeen = now;
        if (!touchedSet.contains(hardware)) {
            touchedSet.insert(hardware);
            touched << hardware;
        }
        if (addressCount.value(hardware) >= ProxyAddresses && !entry.answersForMany) {
            entry.answersForMany = true;
            if (!baseline)
                events.append({InventoryEvent::Kind::AnswersForMany,
                               sighting.address,
                               hardware,
                               {},
                               {},
                               addressCount.value(hardware)});
        }
        const QString previous = m_holder.value(sighting.address);
        const bool hadAddress = entry.addresses.contains(sighting.address);
        holdAddress(entry, sighting.address);
        if (baseline || entry.answersForMany)
            continue;
        if (!previous.isEmpty() && previous != hardware && !hadAddress) {
            if (changesTold.contains({hardware, previous}))
                continue;
            changesTold.insert({hardware, previous});
            // Where the hardware of before answered this round, other than here.
            QString stillAt;
            for (const NetworkSighting& other : seen)
                if (other.hardwareAddress == previous) {
                    stillAt = other.address;
                    if (other.address != sighting.address)
                        break;
                }
            events.append({InventoryEvent::Kind::HardwareChanged, sighting.address, hardware, previous, stillAt, 0});
        } else if (isNew && !(m_listed && m_listed(sighting.address))) {
            events.append({InventoryEvent::Kind::NewDevice, sighting.address, hardware, {}, {}, 0});
        }
    }
    if (!touched.isEmpty())
        emit entriesChanged(touched);
    keepWithinBound();
    return events;
}

void NetworkInventory::keepWithinBound()
{
    if (m_entries.size() <= MaxEntries)
        return;
    QList<const InventoryEntry*> byAge;
    for (const InventoryEntry& entry : std::as_const(m_entries))
        if (!entry.markedKnown)
            byAge << &entry;
    const qsizetype excess = std::min<qsizetype>(m_entries.size() - MaxEntries, byAge.size());
    std::partial_sort(byAge.begin(), byAge.begin() + excess, byAge.end(),
                      [](const InventoryEntry* a, const InventoryEntry* b) { return a->lastSeen < b->lastSeen; });
    QStringList oldest;
    for (qsizetype i = 0; i < excess; ++i)
        oldest << byAge.at(i)->hardwareAddress;
    for (const QString& hardware : std::as_const(oldest))
        forget(hardware);
}

void NetworkInventory::describe(const QString& hardwareAddress, const QString& name, const QString& vendor)
{
    const auto it = m_entries.find(hardwareAddress);
    if (it == m_entries.end() || (it->name == name && it->vendor == vendor))
        return;
    it->name = name;
    it->vendor = vendor;
    emit entriesChanged({hardwareAddress});
}

void NetworkInventory::markKnown(const QString& hardwareAddress, bool known)
{
    const auto it = m_entries.find(hardwareAddress);
    if (it == m_entries.end() || it->markedKnown == known)
        return;
    it->markedKnown = known;
    emit entriesChanged({hardwareAddress});
}

void NetworkInventory::forget(const QString& hardwareAddress)
{
    const auto it = m_entries.find(hardwareAddress);
    if (it == m_entries.end())
        return;
    for (const QString& address : std::as_const(it->addresses))
        if (m_holder.value(address) == hardwareAddress)
            m_holder.remove(address);
    m_entries.erase(it);
    emit entryForgotten(hardwareAddress);
}

QString NetworkInventory::titleOf(InventoryEvent::Kind kind)
{
    switch (kind) {
    case InventoryEvent::Kind::NewDevice:
        return QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "New device on the network"));
    case InventoryEvent::Kind::HardwareChanged:
        return QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "Hardware address changed"));
    case InventoryEvent::Kind::AnswersForMany:
        break;
    }
    return QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "Hardware answering for many addresses"));
}

QString NetworkInventory::textOf(const InventoryEvent& event) const
{
    const InventoryEntry* heard = entry(event.hardwareAddress);
    switch (event.kind) {
    case InventoryEvent::Kind::NewDevice: {
        QStringList details{event.hardwareAddress};
        if (heard && !heard->vendor.isEmpty())
            details << heard->vendor;
        if (heard && !heard->name.isEmpty())
            details << QStringLiteral("\"%1\"").arg(heard->name);
        return PhraseBook::english(PhraseBook::NewDeviceSeen, {event.address, details.join(QStringLiteral(", "))});
    }
    case InventoryEvent::Kind::HardwareChanged: {
        const QString text = PhraseBook::english(PhraseBook::AnswersFrom,
                                                 {event.address, event.hardwareAddress, event.previousHardwareAddress});
        if (event.previousStillAt.isEmpty())
            return text;
        if (event.previousStillAt == event.address)
            return PhraseBook::english(PhraseBook::BothAnswer, {text});
        return PhraseBook::english(PhraseBook::StillAnswersAt,
                                   {text, event.previousHardwareAddress, event.previousStillAt});
    }
    case InventoryEvent::Kind::AnswersForMany:
        break;
    }
    return PhraseBook::english(PhraseBook::AnswersForMany,
                               {event.hardwareAddress, QString::number(event.addressCount)});
}

QString NetworkInventory::baselineText(const QStringList& networks, int devices)
{
    return PhraseBook::english(PhraseBook::WatchingNetworks, {networks.join(QStringLiteral(", "))}, devices);
}

} // namespace Tarnwick
