// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/DeviceEntry.h"

#include <QGraphicsItem>
#include <QObject>
#include <QStringList>

namespace Tarnwick {

class DeviceEntryChangedEvent;

// One device on the map: a disc with the type picture and the state picture, over a plate that
// holds the address, the description and the last round trip and grows to fit them. A failed
// device is framed and tinted red; one only cut off behind a failed device amber, with a dashed
// frame, and says behind which. It follows the store's changes of its own address. It can be
// dragged with any mouse button: PositionChanged says where it is while it moves, and
// dragFinished when it has been put down. An address in no entry of the list is drawn greyed
// with "not in list". A slow device's state picture carries an amber mark, and a device in
// maintenance the maintenance mark on the other side of the disc. A selected badge has a ring
// round its disc.
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
    // The failed device this one is cut off behind, while it is disconnected; empty for none.
    void setCutOffBehind(const QString& behind);
    // Whether the device is slow: its state picture, while connected, carries the amber mark.
    void setSlow(bool slow);
    bool showsSlow() const;
    // What the badge says of the device's maintenance ("In maintenance until 04:00"), shown
    // with its mark; empty while the device is not in maintenance.
    void setMaintenance(const QString& text);
    bool showsMaintenance() const { return !m_maintenance.isEmpty() && m_look != Look::NotInList; }
    // A bright ring round the disc that tells the badge apart for a moment ("Show on map").
    void setHighlighted(bool highlighted);
    bool highlighted() const { return m_highlighted; }

    // How the badge looks, by what is known of its device.
    enum class Look { Normal, Failed, Unreachable, NotInList };
    Look look() const { return m_look; }
    QStringList lines() const { return m_lines; }
    // What a screen reader says of the badge: the address and description as its name; the words
    // of the device list for its state, and its maintenance, as its description.
    QString spokenName() const;
    QString spokenState() const;

    // Whether a badge shows the two entries alike: most results change nothing it shows.
    static bool showsAlike(const DeviceEntry& one, const DeviceEntry& other);

signals:
    void PositionChanged(Tarnwick::DeviceEntryRepresentationGraphicsItem* pItem);
    void dragFinished(Tarnwick::DeviceEntryRepresentationGraphicsItem* pItem);

public slots:
    void DeviceEntryChanged(Tarnwick::DeviceEntryChangedEvent* pEvent);

protected:
    QVariant itemChange(GraphicsItemChange change, const QVariant& value) override;
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;

private:
    // Works out the look, the texts and the plate that holds them, and the bounds.
    void layOut();
    // A screen reader keeps what it heard of the badge until it is told that it changed.
    void tellScreenReaders();

    const QString m_ip;
    // The entry as last drawn: results that show as before do not replace it.
    DeviceEntry m_entry;
    QString m_behind;
    bool m_slow = false;
    QString m_maintenance;
    bool m_highlighted = false;
    Look m_look = Look::Normal;
    QStringList m_lines;
    int m_statusLines = 0;
    QRectF m_plate;
    QRectF m_bounds;
    bool m_dragging = false;
    QString m_spokenName;
    QString m_spokenState;
};

} // namespace Tarnwick
