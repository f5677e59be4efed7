// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace Tarnwick {

// One piece of hardware the network watch has heard, kept across runs.
struct InventoryEntry
{
    // "aa:bb:cc:dd:ee:ff", lower case: what the entry is known by.
    QString hardwareAddress;
    // Every address it answered for, the latest first, IPv4 and IPv6 alike.
    QStringList addresses;
    // Its name by reverse DNS, where it has one; the maker of its hardware, where known.
    QString name;
    QString vendor;
    // UTC.
    QDateTime firstSeen;
    QDateTime lastSeen;
    // The user said it belongs here.
    bool markedKnown = false;
    // It answered for many addresses at once, as a proxy-ARP router does: told once, and its
    // addresses are not told one by one.
    bool answersForMany = false;

    bool operator==(const InventoryEntry&) const = default;
};

} // namespace Tarnwick
