// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DeviceEntry.h"

#include <QCoreApplication>
#include <QList>
#include <QString>

namespace Tarnwick {

class SlowView;

// How many devices the list holds and in which state, for the list's summary line and the
// tray icon's tooltip: "200 devices: 150 connected (3 slow), 50 disconnected".
struct DeviceSummary
{
    Q_DECLARE_TR_FUNCTIONS(DeviceSummary)

public:
    int total = 0;
    int connected = 0;
    int disconnected = 0;
    int notProbed = 0;
    // Entries without an address, which are never probed.
    int withoutAddress = 0;
    // Connected devices that are slow, where the caller knows which.
    int slow = 0;
    // Devices that ask to be told of their state changes and are disconnected.
    int watchedDisconnected = 0;

    static DeviceSummary of(const QList<DeviceEntry>& entries, const SlowView* slow = nullptr);
    QString text() const;
};

} // namespace Tarnwick
