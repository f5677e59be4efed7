// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace Tarnwick {

// The skin picture for a device's type and for its connection state, by file name; an empty
// name for codes that have no picture.
class DevicePictures
{
public:
    static QString forType(int type);
    static QString forState(int state);
    // A device not probed since start: neither connected nor disconnected yet.
    static QString notProbed() { return QStringLiteral("NotProbedIcon.png"); }
    // A host that answered on the local link, but not the echo request.
    static QString presentWithoutEcho() { return QStringLiteral("PresentIcon.png"); }
};

} // namespace Tarnwick
