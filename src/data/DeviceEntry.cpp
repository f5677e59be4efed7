// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceEntry.h"

namespace Tarnwick {

QString DeviceEntry::keyWithoutAddress(int n)
{
    return QStringLiteral("(no address %1)").arg(n);
}

QString DeviceEntry::checkKey(const QString& address, const DeviceCheck& check)
{
    return address + QLatin1Char(' ') + check.word();
}

QString DeviceEntry::named(const QString& address, const QString& description)
{
    return description.isEmpty() ? address : address + QStringLiteral(" (") + description + QLatin1Char(')');
}

bool DeviceEntry::hasAddress() const
{
    return !ip.isEmpty() && !(ip.startsWith(QLatin1String("(no address ")) && ip.endsWith(QLatin1Char(')')));
}

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
