// SPDX-License-Identifier: GPL-3.0-or-later
#include "XmlNumber.h"

#include <QString>

namespace Tarnwick {

int XmlNumber::toInt(QStringView text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : 0;
}

} // namespace Tarnwick
