#include "DeviceEntry.h"

namespace Tarnwick {

DeviceEntry::DeviceEntry(const QString& ip, const QString& description, int type, bool informOnStateChange,
                         const QString& pingResult)
    : type(type)
    , ip(ip)
    , description(description)
    , informOnStateChange(informOnStateChange)
    , state(DeviceStateDisconnected)
    , pingResult(pingResult)
{
}

} // namespace Tarnwick
