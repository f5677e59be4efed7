// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DeviceEntry.h"
#include "StoreEvent.h"

namespace Tarnwick {

// A store announcement that carries one entry; receivers read it and never keep or free the record.
class EntryEvent : public StoreEvent
{
public:
    explicit EntryEvent(const DeviceEntry& entry);
    const DeviceEntry& entry() const;

private:
    DeviceEntry m_entry;
};

} // namespace Tarnwick
