// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceEntryRepresentationGraphicsItem.h"

#include "data/Data.h"
#include "data/Reachability.h"
#include "skin/DevicePictures.h"
#include "skin/SkinResources.h"

#include <QFontMetrics>
#include <QGraphicsSceneMouseEvent>
#include <QPainter>

namespace Tarnwick {

DeviceEntryRepresentationGraphicsItem::DeviceEntryRepresentationGraphicsItem(const QString& ip)
    : m_ip(ip)
{
    refreshEntry();
}

void DeviceEntryRepresentationGraphicsItem::refreshEntry()
{
    if (Data* data = Data::instance())
        m_entry = data->entry(m_ip);
    update();
}

QRectF DeviceEntryRepresentationGraphicsItem::boundingRect() const
{
    return QRectF(-70, -70, 140, 140);
}

void DeviceEntryRepresentationGraphicsItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    painter->setRenderHint(QPainter::Antialiasing);
    const QRectF disc(-60, -60, 120, 120);
    const bool inList = !m_entry.ip.isEmpty();
    painter->setBrush(inList ? QColor(200, 222, 255) : QColor(225, 225, 225));
    painter->drawEllipse(disc);
    painter->setBrush(Qt::NoBrush);
    painter->drawEllipse(disc);
    if (!inList) {
        painter->setPen(QColor(120, 120, 120));
        painter->drawText(QRectF(-55, -10, 110, 20), Qt::AlignCenter, m_ip);
        painter->drawText(QRectF(-55, 10, 110, 20), Qt::AlignCenter, QStringLiteral("not in list"));
        return;
    }

    const QString type = DevicePictures::forType(m_entry.type);
    if (!type.isEmpty())
        painter->drawImage(QRectF(-24, -48, 48, 48), SkinResources::image(type));
    // A device cut off behind a failed one shows its state picture greyed.
    const QString behind = m_entry.state == DeviceStateDisconnected ? Reachability::behind(m_ip) : QString();
    const QString state = DevicePictures::forState(m_entry.state);
    if (!state.isEmpty()) {
        const QImage picture = SkinResources::image(state);
        painter->drawImage(QRectF(-50, 5, 16, 16),
                           behind.isEmpty() ? picture : picture.convertToFormat(QImage::Format_Grayscale8),
                           QRectF(0, 0, 64, 64));
    }

    painter->drawText(QPointF(-30, 17), m_entry.ip);
    // A round trip with its unit; "X" (no reply) as it is.
    bool number = false;
    m_entry.pingResult.toInt(&number);
    const QString time = !behind.isEmpty() ? QStringLiteral("behind ") + behind
        : number                           ? m_entry.pingResult + QStringLiteral(" ms")
                                           : m_entry.pingResult;
    if (m_entry.description.isEmpty()) {
        painter->drawText(QRectF(-55, 22, 110, 16), Qt::AlignHCenter | Qt::AlignTop, time);
    } else {
        const QFontMetrics metrics(painter->font());
        painter->drawText(QRectF(-55, 22, 110, 16), Qt::AlignHCenter | Qt::AlignTop,
                          metrics.elidedText(m_entry.description, Qt::ElideRight, 106));
        painter->drawText(QRectF(-55, 38, 110, 16), Qt::AlignHCenter | Qt::AlignTop, time);
    }
}

void DeviceEntryRepresentationGraphicsItem::DeviceEntryChanged(DeviceEntryChangedEvent* pEvent)
{
    const DeviceEntry changed = pEvent->newEntry();
    if (changed.ip != m_ip)
        return;
    m_entry = changed;
    update();
}

void DeviceEntryRepresentationGraphicsItem::mousePressEvent(QGraphicsSceneMouseEvent* event)
{
    // Taking the press makes this badge the mouse grabber, so the view does not pan.
    m_dragging = true;
    event->accept();
}

void DeviceEntryRepresentationGraphicsItem::mouseMoveEvent(QGraphicsSceneMouseEvent* event)
{
    if (m_dragging) {
        setPos(pos() + (event->scenePos() - event->lastScenePos()));
        emit PositionChanged(this);
    }
    QGraphicsItem::mouseMoveEvent(event);
}

void DeviceEntryRepresentationGraphicsItem::mouseReleaseEvent(QGraphicsSceneMouseEvent* event)
{
    if (m_dragging && event->buttonDownScenePos(event->button()) != event->scenePos())
        emit dragFinished(this);
    m_dragging = false;
    event->accept();
}

} // namespace Tarnwick
