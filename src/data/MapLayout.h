// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "VisualRepresentationItem.h"
#include "VisualRepresentationItemConnection.h"

#include <QList>
#include <QStringList>

namespace Tarnwick {

// Places devices on the map by their lines, without moving those already there, as network
// diagrams are drawn: a group of new devices joined by lines to no placed one becomes a layered
// tree below the map, grown from the first hop or else from its most connected device, each
// device in the row below the one it hangs from, so that lines run between badges rather than
// across them. A new device with a line to a placed one goes into the nearest free spot below
// it. Devices without lines go into rows below everything. No two badges overlap.
class MapLayout
{
public:
    // Centres closer than this, across and down, would make two badges overlap.
    static constexpr int Spacing = 160;
    static constexpr int ColumnWidth = 200;
    static constexpr int RowHeight = 200;

    static QList<VisualRepresentationItem> placeNew(const QList<VisualRepresentationItem>& placed,
                                                    const QList<VisualRepresentationItemConnection>& connections,
                                                    const QStringList& newAddresses,
                                                    const QString& firstHop = QString());
};

} // namespace Tarnwick
