// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DeviceCheck.h"

#include <QList>
#include <QString>

namespace Tarnwick {

// A device's further checks as text, as the user types them and the device list file keeps
// them: their words (DeviceCheck::word) separated by spaces, "tcp:443 arp".
class CheckList
{
public:
    static QString text(const QList<DeviceCheck>& checks);
    // The checks the text names, for a device whose first check is first and whose probed
    // address is probedAddress. problem says why they cannot be taken, in the words the
    // dialogs and the API share: a word that names no check, a check given twice (or the
    // first again), more checks than a device takes, or one that cannot ask the address;
    // empty when they can.
    static QList<DeviceCheck> read(const QString& text, const DeviceCheck& first, const QString& probedAddress,
                                   QString* problem);
    // Why the text names no check, as the dialogs and the API say it.
    static QString unknownCheck(const QString& text);
};

} // namespace Tarnwick
