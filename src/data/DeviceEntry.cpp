// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceEntry.h"

namespace Tarnwick {

DeviceEntry::DeviceEntry(const QString& address, const QString& text, int deviceType, bool inform,
                         const QString& result)
    : type(deviceType)
    , ip(address)
    , description(text)
    , informOnStateChange(inform)
    , state(DeviceStateDisconnected)
    , pingResult(result)
{
}

} // namespace Tarnwick
