// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMetaType>
#include <QString>

namespace Tarnwick {

// One answer heard while the local networks were swept: which hardware answered for which address.
struct NetworkSighting
{
    QString address;
    // "aa:bb:cc:dd:ee:ff", lower case.
    QString hardwareAddress;
    QString interfaceName;
};

} // namespace Tarnwick

Q_DECLARE_METATYPE(Tarnwick::NetworkSighting)
