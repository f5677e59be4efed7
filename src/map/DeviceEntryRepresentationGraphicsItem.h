// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/DeviceEntry.h"

#include <QGraphicsItem>
#include <QObject>

namespace Tarnwick {

class DeviceEntryChangedEvent;

// One device on the map: a disc with the type picture, the state picture, the address, its
// description and the last round trip. It follows the store's changes of its own address. It
// can be dragged with any mouse button: PositionChanged says where it is while it moves, and
// dragFinished when it has been put down. An address in no entry of the list is drawn greyed
// with "not in list".
class DeviceEntryRepresentationGraphicsItem : public QObject, public QGraphicsItem
{
    Q_OBJECT
    Q_INTERFACES(QGraphicsItem)

public:
    explicit DeviceEntryRepresentationGraphicsItem(const QString& ip);

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    DeviceEntry entry() const { return m_entry; }

    QString ip() const { return m_ip; }
    // Looks the entry up in the store anew (after the list gained or lost the address).
    void refreshEntry();

signals:
    void PositionChanged(Tarnwick::DeviceEntryRepresentationGraphicsItem* pItem);
    void dragFinished(Tarnwick::DeviceEntryRepresentationGraphicsItem* pItem);

public slots:
    void DeviceEntryChanged(Tarnwick::DeviceEntryChangedEvent* pEvent);

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;

private:
    const QString m_ip;
    DeviceEntry m_entry;
    bool m_dragging = false;
};

} // namespace Tarnwick
