// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMetaType>
#include <QString>

namespace Tarnwick {

// One device placed on the map: its address and the scene position of its centre, and whether
// the layout chose that place (the next layout may move it) rather than the user.
struct VisualRepresentationItem
{
    QString ip;
    int x = 0;
    int y = 0;
    bool laidOut = false;

    bool operator==(const VisualRepresentationItem& other) const = default;
};

} // namespace Tarnwick

Q_DECLARE_METATYPE(Tarnwick::VisualRepresentationItem)
