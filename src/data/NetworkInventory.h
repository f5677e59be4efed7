// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "InventoryEntry.h"
#include "InventoryEvent.h"
#include "NetworkSighting.h"

#include <QHash>
#include <QList>
#include <QObject>

#include <functional>

namespace Tarnwick {

// Every piece of hardware the network watch has heard, by hardware address, and the rules that
// turn a sweep's answers into news:
// - hardware never heard before is a new device, told once; not while the round is a baseline
//   (the first after the watch starts), nor for an address of the device list;
// - an address that answers from hardware that never answered for it before, where other
//   hardware answered for it last, is a change of hardware, flagged as a possible spoof where
//   the hardware of before still answered in the same round; hardware going back to an address
//   it had before is no news, so two answering in turn (a spoof, a failover pair) are told once;
// - hardware answering for ProxyAddresses addresses or more in one round is told once as such,
//   and none of its addresses are news from then on.
// Lives on the store's thread.
class NetworkInventory : public QObject
{
    Q_OBJECT

public:
    static constexpr int ProxyAddresses = 8;
    // Addresses kept an entry; the oldest go first.
    static constexpr int MaxAddresses = 16;
    // Entries kept at most: hardware made up in a flood (a host answering from a new address each
    // time) must not grow memory and the history without end. Beyond it, the longest unheard go
    // first; those the user marked known stay.
    static constexpr int MaxEntries = 65536;

    explicit NetworkInventory(QObject* parent = nullptr);

    // Whether an address is one of the device list's; an entry with one is known.
    void setListed(std::function<bool(const QString& address)> listed) { m_listed = std::move(listed); }
    // What an earlier run kept; replaces what the inventory holds, without a signal.
    void load(const QList<InventoryEntry>& entries);

    QList<InventoryEntry> entries() const { return m_entries.values(); }
    const InventoryEntry* entry(const QString& hardwareAddress) const;
    int count() const { return int(m_entries.size()); }
    bool isKnown(const InventoryEntry& entry) const;
    // The hardware that last answered for the address; empty where none did.
    QString hardwareAt(const QString& address) const { return m_holder.value(address); }
    // Whether one of its addresses is in the device list.
    bool isListed(const InventoryEntry& entry) const;

    // Takes one round's answers heard at now (UTC), and returns what they tell in the order
    // they were heard. Tells entriesChanged of every entry the round touched.
    QList<InventoryEvent> merge(const QList<NetworkSighting>& seen, const QDateTime& now, bool baseline);
    // The name and the maker found for an entry after it was heard.
    void describe(const QString& hardwareAddress, const QString& name, const QString& vendor);
    void markKnown(const QString& hardwareAddress, bool known);
    // Drops the entry: heard again, it is new again.
    void forget(const QString& hardwareAddress);

    // The texts an event is told by: the title and the line ("New device 10.0.0.23
    // (a4:83:e7:12:34:56, Apple, "iPhone")").
    static QString titleOf(InventoryEvent::Kind kind);
    QString textOf(const InventoryEvent& event) const;
    // "Watching 10.0.0.0/24: 14 devices seen".
    static QString baselineText(const QStringList& networks, int devices);

signals:
    void entriesChanged(const QStringList& hardwareAddresses);
    void entryForgotten(const QString& hardwareAddress);

private:
    void holdAddress(InventoryEntry& entry, const QString& address);
    void keepWithinBound();

    QHash<QString, InventoryEntry> m_entries;
    // The hardware that last answered for each address.
    QHash<QString, QString> m_holder;
    std::function<bool(const QString&)> m_listed;
};

} // namespace Tarnwick
