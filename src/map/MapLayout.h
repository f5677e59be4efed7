// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "VisualRepresentationItem.h"
#include "VisualRepresentationItemConnection.h"

#include <QList>
#include <QStringList>

namespace Tarnwick {

// Places devices on the map without moving those already there: each new badge goes to the
// nearest free spot around a placed device it has a line to, or, without one, into rows below
// the map; no two badges overlap.
class MapLayout
{
public:
    // Centres closer than this would make two badges overlap.
    static constexpr int Spacing = 160;

    static QList<VisualRepresentationItem> placeNew(const QList<VisualRepresentationItem>& placed,
                                                    const QList<VisualRepresentationItemConnection>& connections,
                                                    const QStringList& newAddresses);
};

} // namespace Tarnwick
