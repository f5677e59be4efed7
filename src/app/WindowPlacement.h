// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QRect>

namespace Tarnwick {

// Where a stored window rectangle may be shown on the screens there are now: a place saved on
// a bigger screen, another arrangement of screens or another scale factor must never put the
// window, or its buttons, out of reach.
class WindowPlacement
{
public:
    // The rectangle to apply: stored, made no larger than the available area of the screen it
    // belongs to (the one it overlaps most, else the first), and moved fully onto that area.
    // The size never drops below minimum unless the screen is smaller still.
    static QRect fit(const QRect& stored, const QList<QRect>& availableAreas, const QSize& minimum);
};

} // namespace Tarnwick
