// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QString>

namespace Tarnwick {

// What a screen reader says of a device's state picture, in the list and on the map alike, in the
// user's language: "connected", "connected, slow", "disconnected, unreachable behind 10.0.0.1".
class DeviceStateWords
{
    Q_DECLARE_TR_FUNCTIONS(DeviceStateWords)

public:
    enum class State { NotProbed, Connected, Disconnected };
    // behind: the failed device a disconnected one is cut off behind, or empty.
    static QString of(State state, bool slow, const QString& behind);
};

} // namespace Tarnwick
