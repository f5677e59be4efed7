// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceEntryChangedEvent.h"

namespace Tarnwick {

DeviceEntryChangedEvent::DeviceEntryChangedEvent(const DeviceEntry& newEntry, const DeviceEntry& oldEntry)
    : m_newEntry(newEntry)
    , m_oldEntry(oldEntry)
{
}

DeviceEntry DeviceEntryChangedEvent::newEntry() const
{
    return m_newEntry;
}

DeviceEntry DeviceEntryChangedEvent::oldEntry() const
{
    return m_oldEntry;
}

} // namespace Tarnwick
