// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DeviceCheck.h"
#include "ProbeResult.h"

#include <QList>
#include <QString>

#include <optional>

namespace Tarnwick {

// One probe result of the monitor, with the device and the time, as the history keeps it.
struct ProbeRecord
{
    QString device; // the entry's address text
    qint64 atMs = 0; // UTC, milliseconds since the epoch
    ProbeResult result;
    // How the device was asked, where known: a result of another check than the entry has by
    // the time it arrives (the check changed meanwhile) is not the entry's.
    std::optional<DeviceCheck> check{};
    // The device's further checks as they were asked in the same round, and their results in
    // that order; a check whose result did not come counts as unanswered.
    QList<DeviceCheck> moreChecks{};
    QList<ProbeResult> moreResults{};
    // The store's number for the device's address while it is listed, given as the store takes
    // the result (-1 before, or for a figure of no listed address): what runs on every result
    // finds the device's figures by it (see SlottedHash).
    int slot = -1;
};

} // namespace Tarnwick
