// SPDX-License-Identifier: GPL-3.0-or-later
#include "DevicePictures.h"

#include "data/DeviceEntry.h"

namespace Tarnwick {

QString DevicePictures::forType(int type)
{
    switch (type) {
    case DeviceTypeAP:
        return QStringLiteral("DeviceTypeAPIcon.png");
    case DeviceTypeRouter:
        return QStringLiteral("DeviceTypeRouterIcon.png");
    case DeviceTypePC:
        return QStringLiteral("DeviceTypePCIcon.png");
    case DeviceTypeWeb:
        return QStringLiteral("DeviceTypeWebIcon.png");
    default:
        return QString();
    }
}

QString DevicePictures::forState(int state)
{
    switch (state) {
    case DeviceStateConnected:
        return QStringLiteral("ConnectedIcon.png");
    case DeviceStateDisconnected:
        return QStringLiteral("DisconnectedIcon.png");
    default:
        return QString();
    }
}

} // namespace Tarnwick
