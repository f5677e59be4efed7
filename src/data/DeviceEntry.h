// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DeviceCheck.h"
#include "EchoOptions.h"
#include "ProbeResult.h"

#include <QList>
#include <QString>

#include <optional>

namespace Tarnwick {

// Device type codes as stored in an entry and in the device list file.
enum DeviceType { DeviceTypeAP = 1, DeviceTypeRouter = 2, DeviceTypePC = 3, DeviceTypeWeb = 4 };

// Connection state codes; 0 only occurs in a default-constructed entry.
enum DeviceState { DeviceStateNone = 0, DeviceStateConnected = 1, DeviceStateDisconnected = 2 };

// The ping result text that means "no answer".
inline const QString NoReplyResult = QStringLiteral("X");
// The ping result text of a host that answers ARP on the local link but drops echo requests.
inline const QString PresentResult = QStringLiteral("Present");

// One monitored device. The address text is the key of every look-up.
class DeviceEntry
{
public:
    DeviceEntry() = default;
    DeviceEntry(const QString& address, const QString& text, int deviceType, bool inform, const QString& result);

    // The key of the nth entry (from 1) that the device list gave no address (IP="", or none):
    // "(no address 1)". Such an entry is kept, shown and written back as it came, under a key
    // that no host has, and never probed, until it is given an address.
    static QString keyWithoutAddress(int n);
    // Whether the entry has an address to probe: not one of the keys above.
    bool hasAddress() const;

    int type = 0;
    QString ip;
    QString description;
    bool informOnStateChange = false;
    int state = DeviceStateNone;
    // The last result as the files and the list show it: the round trip in whole milliseconds
    // (hundredths under one), "Present" or "X"; the store sets it together with lastProbe, which is the same result as
    // a number.
    QString pingResult;
    // Its reason says why no reply came, where the network said so.
    ProbeResult lastProbe;
    // Loaded at start and not probed since: its state is only what the file implied, and its
    // first result sets the state without announcing a change of it.
    bool awaitingFirstResult = false;
    DeviceCheck check;
    // At most this many checks a device, the first among them.
    static constexpr int MaxChecks = 8;
    // The checks asked besides the first, each time it is: the device is connected only while
    // all of them answer.
    QList<DeviceCheck> moreChecks;
    // The last result of each of moreChecks, in their order; empty until they have been asked.
    QList<ProbeResult> moreProbes;
    // The key under which a further check's results are kept in the history and the
    // statistics: "10.0.0.5 tcp:443", which no address can be.
    static QString checkKey(const QString& address, const DeviceCheck& check);
    // A device as lines and messages name it: "10.0.0.1 (router)", or the address alone when
    // it has no description.
    static QString named(const QString& address, const QString& description);

    // Limits of its own for being slow; each one not set follows the settings.
    struct SlowLimits
    {
        // In milliseconds; 0: never slow by its round trip.
        std::optional<int> averageMs;
        // 0: never slow by its loss.
        std::optional<int> lossPercent;
        std::optional<int> results;

        bool operator==(const SlowLimits& other) const = default;
    };
    SlowLimits slowLimits;
    // How an echo check's requests are made.
    EchoOptions echo;

    bool operator==(const DeviceEntry& other) const = default;
};

} // namespace Tarnwick
