// SPDX-License-Identifier: GPL-3.0-or-later
#include "MuteMark.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace Tarnwick {

namespace {

QPixmap bell(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 16-unit square.
    painter.scale(size / 16.0, size / 16.0);
    QPainterPath body;
    body.moveTo(3, 12);
    body.cubicTo(4.5, 10.5, 4, 8, 4.5, 6);
    body.cubicTo(5, 3, 11, 3, 11.5, 6);
    body.cubicTo(12, 8, 11.5, 10.5, 13, 12);
    body.closeSubpath();
    painter.setPen(QPen(QColor(60, 60, 60), 1));
    painter.setBrush(QColor(235, 190, 60));
    painter.drawPath(body);
    painter.drawEllipse(QPointF(8, 13.3), 1.3, 1.3);
    // The stroke across, with a light edge so that it reads on the bell and on any row colour.
    painter.setPen(QPen(Qt::white, 3.2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(2.5, 2.5), QPointF(13.5, 13.5));
    painter.setPen(QPen(QColor(200, 30, 30), 1.8, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(2.5, 2.5), QPointF(13.5, 13.5));
    return pixmap;
}

} // namespace

QIcon MuteMark::icon()
{
    QIcon icon;
    icon.addPixmap(bell(16));
    icon.addPixmap(bell(32));
    return icon;
}

QString MuteMark::toolTip(const std::optional<QDateTime>& heardAgainAt, const QDateTime& now)
{
    if (!heardAgainAt)
        return {};
    if (!heardAgainAt->isValid())
        return tr("Alerts muted until unmuted");
    const QDateTime local = heardAgainAt->toLocalTime();
    const bool today = local.date() == now.toLocalTime().date();
    //: %1: the time, or the day and time, the alerts are heard again
    return tr("Alerts muted until %1")
        .arg(local.toString(today ? QStringLiteral("hh:mm") : QStringLiteral("d MMM hh:mm")));
}

} // namespace Tarnwick
