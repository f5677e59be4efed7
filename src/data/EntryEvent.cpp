// SPDX-License-Identifier: GPL-3.0-or-later
#include "EntryEvent.h"

namespace Tarnwick {

EntryEvent::EntryEvent(const DeviceEntry& entry)
    : m_entry(entry)
{
}

const DeviceEntry& EntryEvent::entry() const
{
    return m_entry;
}

} // namespace Tarnwick
