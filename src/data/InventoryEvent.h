// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace Tarnwick {

// What a sweep of the network told that the inventory did not know.
struct InventoryEvent
{
    enum class Kind {
        // Hardware never heard before answered.
        NewDevice,
        // An address answered from other hardware than the last time.
        HardwareChanged,
        // One piece of hardware answered for many addresses (proxy ARP).
        AnswersForMany,
    };
    Kind kind = Kind::NewDevice;
    QString address;
    QString hardwareAddress;
    // HardwareChanged: the hardware that answered before, and where it answered in the same
    // round if it still did (a possible spoof); empty where it was silent.
    QString previousHardwareAddress;
    QString previousStillAt;
    // AnswersForMany: for how many addresses, in that round.
    int addressCount = 0;

    bool operator==(const InventoryEvent&) const = default;
};

} // namespace Tarnwick
