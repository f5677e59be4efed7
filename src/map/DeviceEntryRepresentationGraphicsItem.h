#pragma once

#include "data/DeviceEntry.h"

#include <QGraphicsItem>
#include <QObject>

namespace Tarnwick {

class DeviceEntryChangedEvent;

// One device on the map: a disc with the type picture, the state picture, the address and
// the last ping result. It follows the store's changes of its own address and can be
// dragged with any mouse button; the new place is not stored.
class DeviceEntryRepresentationGraphicsItem : public QObject, public QGraphicsItem
{
    Q_OBJECT
    Q_INTERFACES(QGraphicsItem)

public:
    explicit DeviceEntryRepresentationGraphicsItem(const QString& ip);

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    DeviceEntry entry() const { return m_entry; }

signals:
    void PositionChanged(Tarnwick::DeviceEntryRepresentationGraphicsItem* pItem);

public slots:
    void DeviceEntryChanged(Tarnwick::DeviceEntryChangedEvent* pEvent);

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;

private:
    DeviceEntry m_entry;
    bool m_dragging = false;
};

} // namespace Tarnwick
