// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QRectF>

class QPainter;

namespace Tarnwick {

// The amber mark of a slow device, drawn over the skin's state picture wherever it shows (the
// list's row, the map's badge), so that every skin shows it without a picture of its own.
class SlowMark
{
public:
    static const QColor Amber;

    // Draws the mark in the lower right quarter of the picture's place.
    static void paint(QPainter& painter, const QRectF& picture);
    // The picture with the mark drawn over it, at the list's size.
    static QIcon over(const QIcon& picture);
};

} // namespace Tarnwick
