// SPDX-License-Identifier: GPL-3.0-or-later
#include "EchoOptions.h"

namespace Tarnwick {

QString EchoOptions::text() const
{
    if (isDefault())
        return {};
    QString shown = QStringLiteral("Payload: %1 bytes").arg(payloadSize);
    if (dontFragment)
        shown += QStringLiteral(", don't fragment");
    return shown;
}

} // namespace Tarnwick
