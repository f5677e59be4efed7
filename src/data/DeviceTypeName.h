// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

namespace Tarnwick {

// The names of the device types, in the order the type chooser lists them (PC first: the
// positions are not type codes). The dialogs, the exported list and the API name types alike.
class DeviceTypeName
{
public:
    // "PC", "AP", "Router" or "Web"; empty for a code outside 1 to 4. Files and the API take
    // these names as they are.
    static QString of(int type);
    // The name as the window shows it, in the user's language.
    static QString shown(int type);
    // The code a name stands for, whatever its case; 0 for none.
    static int codeOf(const QString& name);
    // Every type code, in the chooser's order.
    static QList<int> chooserOrder();
};

} // namespace Tarnwick
