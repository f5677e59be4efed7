// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMetaType>

#include "DeviceEntry.h"
#include "StoreEvent.h"

namespace Tarnwick {

// Announces a change of one entry: the entry after the change and before it.
class DeviceEntryChangedEvent : public StoreEvent
{
public:
    DeviceEntryChangedEvent(DeviceEntry newEntry, DeviceEntry oldEntry);
    const DeviceEntry& newEntry() const;
    const DeviceEntry& oldEntry() const;
    // Whether the device went from connected to disconnected or back. The first result after
    // start tells a device's state; it changes none.
    bool changesState() const;

private:
    DeviceEntry m_newEntry;
    DeviceEntry m_oldEntry;
};

} // namespace Tarnwick

// Lets the pointer travel through queued connections to receivers on another thread.
Q_DECLARE_METATYPE(Tarnwick::DeviceEntryChangedEvent*)
