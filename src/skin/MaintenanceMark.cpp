// SPDX-License-Identifier: GPL-3.0-or-later
#include "MaintenanceMark.h"

#include <QPainter>
#include <QPixmap>

namespace Tarnwick {

void MaintenanceMark::paint(QPainter& painter, const QRectF& place)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(place.topLeft());
    // Drawn on a 16-unit square.
    painter.scale(place.width() / 16.0, place.height() / 16.0);
    const QColor blue(0x2a, 0x6f, 0xb5);
    painter.setPen(QPen(QColor(0x14, 0x3c, 0x66), 1));
    painter.setBrush(blue);
    painter.drawRoundedRect(QRectF(1, 1, 14, 14), 3, 3);
    // The wrench: a handle from the lower left to a round head, its jaw open to the upper right.
    painter.setPen(QPen(Qt::white, 2.6, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(4.2, 11.8), QPointF(9, 7));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QPointF(10.3, 5.7), 3, 3);
    painter.setBrush(blue);
    painter.drawEllipse(QPointF(12, 4), 1.5, 1.5);
    painter.restore();
}

QIcon MaintenanceMark::icon()
{
    QIcon icon;
    for (const int side : {16, 32}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(painter, QRectF(pixmap.rect()));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QString MaintenanceMark::toolTip(const std::optional<QDateTime>& ends, const QDateTime& now)
{
    if (!ends)
        return {};
    const QDateTime local = ends->toLocalTime();
    const bool today = local.date() == now.toLocalTime().date();
    //: %1: the time, or the day and time, the maintenance window ends
    return tr("In maintenance until %1")
        .arg(local.toString(today ? QStringLiteral("hh:mm") : QStringLiteral("d MMM hh:mm")));
}

} // namespace Tarnwick
