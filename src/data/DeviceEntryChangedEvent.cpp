// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceEntryChangedEvent.h"

#include <utility>

namespace Tarnwick {

DeviceEntryChangedEvent::DeviceEntryChangedEvent(DeviceEntry newEntry, DeviceEntry oldEntry)
    : m_newEntry(std::move(newEntry))
    , m_oldEntry(std::move(oldEntry))
{
}

const DeviceEntry& DeviceEntryChangedEvent::newEntry() const
{
    return m_newEntry;
}

const DeviceEntry& DeviceEntryChangedEvent::oldEntry() const
{
    return m_oldEntry;
}

bool DeviceEntryChangedEvent::changesState() const
{
    const auto known = [](int state) { return state == DeviceStateConnected || state == DeviceStateDisconnected; };
    return m_newEntry.state != m_oldEntry.state && !m_oldEntry.awaitingFirstResult && known(m_oldEntry.state)
        && known(m_newEntry.state);
}

} // namespace Tarnwick
