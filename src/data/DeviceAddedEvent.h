// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMetaType>

#include "EntryEvent.h"

namespace Tarnwick {

// The entry as it was appended to the store.
class DeviceAddedEvent : public EntryEvent
{
public:
    using EntryEvent::EntryEvent;
};

} // namespace Tarnwick

// Lets the pointer travel through queued connections to receivers on another thread.
Q_DECLARE_METATYPE(Tarnwick::DeviceAddedEvent*)
