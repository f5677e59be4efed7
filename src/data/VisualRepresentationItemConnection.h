// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMetaType>
#include <QString>

namespace Tarnwick {

// One line on the map between two placed addresses. Types 1 to 4: thin solid, thick solid,
// thin dotted, thick dotted; any other value is kept and drawn with the default pen.
struct VisualRepresentationItemConnection
{
    QString ip1;
    QString ip2;
    int type = 0;

    bool operator==(const VisualRepresentationItemConnection& other) const = default;
};

} // namespace Tarnwick

Q_DECLARE_METATYPE(Tarnwick::VisualRepresentationItemConnection)
