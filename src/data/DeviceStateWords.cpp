// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceStateWords.h"

namespace Tarnwick {

QString DeviceStateWords::of(State state, bool slow, const QString& behind)
{
    switch (state) {
    case State::NotProbed:
        //: What a screen reader says of the state picture
        return tr("not yet probed");
    case State::Connected:
        if (slow)
            //: What a screen reader says of the state picture
            return tr("connected, slow");
        //: What a screen reader says of the state picture
        return tr("connected");
    case State::Disconnected:
        break;
    }
    if (!behind.isEmpty())
        //: What a screen reader says of the state picture; %1: the failed device
        return tr("disconnected, unreachable behind %1").arg(behind);
    //: What a screen reader says of the state picture
    return tr("disconnected");
}

} // namespace Tarnwick
