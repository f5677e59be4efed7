#include "DeviceEntryRepresentationGraphicsItem.h"

#include "data/Data.h"
#include "skin/DevicePictures.h"
#include "skin/SkinResources.h"

#include <QGraphicsSceneMouseEvent>
#include <QPainter>

namespace Tarnwick {

DeviceEntryRepresentationGraphicsItem::DeviceEntryRepresentationGraphicsItem(const QString& ip)
{
    if (Data* data = Data::instance())
        m_entry = data->entry(ip);
}

QRectF DeviceEntryRepresentationGraphicsItem::boundingRect() const
{
    return QRectF(-70, -70, 140, 140);
}

void DeviceEntryRepresentationGraphicsItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    painter->setRenderHint(QPainter::Antialiasing);
    const QRectF disc(-60, -60, 120, 120);
    painter->setBrush(QColor(200, 222, 255));
    painter->drawEllipse(disc);
    painter->setBrush(Qt::NoBrush);
    painter->drawEllipse(disc);

    const QString type = DevicePictures::forType(m_entry.type);
    if (!type.isEmpty())
        painter->drawImage(QRectF(-24, -48, 48, 48), SkinResources::image(type));
    const QString state = DevicePictures::forState(m_entry.state);
    if (!state.isEmpty())
        painter->drawImage(QRectF(-50, 5, 16, 16), SkinResources::image(state), QRectF(0, 0, 64, 64));

    painter->drawText(QPointF(-30, 17), m_entry.ip);
    painter->drawText(QPointF(-7, 37), m_entry.pingResult);
}

void DeviceEntryRepresentationGraphicsItem::DeviceEntryChanged(DeviceEntryChangedEvent* pEvent)
{
    const DeviceEntry changed = pEvent->newEntry();
    if (changed.ip != m_entry.ip)
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
        setPos(pos() + (event->pos() - event->lastPos()));
        emit PositionChanged(this);
    }
    QGraphicsItem::mouseMoveEvent(event);
}

void DeviceEntryRepresentationGraphicsItem::mouseReleaseEvent(QGraphicsSceneMouseEvent* event)
{
    m_dragging = false;
    event->accept();
}

} // namespace Tarnwick
