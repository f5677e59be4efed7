// SPDX-License-Identifier: GPL-3.0-or-later
#include "SlowMark.h"

#include <QPainter>
#include <QPixmap>

#include <algorithm>

namespace Tarnwick {

const QColor SlowMark::Amber(0xff, 0xb0, 0x00);

void SlowMark::paint(QPainter& painter, const QRectF& picture)
{
    const qreal size = picture.width() * 0.55;
    const QRectF mark(picture.right() - size, picture.bottom() - size, size, size);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    // A dark rim keeps the mark apart from a green or red picture under it.
    painter.setPen(QPen(QColor(0x70, 0x48, 0x00), std::max(1.0, size / 8)));
    painter.setBrush(Amber);
    painter.drawEllipse(mark.adjusted(0.5, 0.5, -0.5, -0.5));
    painter.restore();
}

QIcon SlowMark::over(const QIcon& picture)
{
    QIcon marked;
    for (const int side : {16, 32}) {
        QPixmap pixmap = picture.pixmap(side, side);
        if (pixmap.isNull())
            continue;
        // The pixmap may come at the screen's scale; the mark is drawn in its own pixels.
        pixmap.setDevicePixelRatio(1);
        QPainter painter(&pixmap);
        paint(painter, QRectF(pixmap.rect()));
        painter.end();
        marked.addPixmap(pixmap);
    }
    return marked;
}

} // namespace Tarnwick
