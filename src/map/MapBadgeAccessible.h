// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAccessibleObject>

class QGraphicsView;

namespace Tarnwick {

class DeviceEntryRepresentationGraphicsItem;

// One badge of the map as a screen reader finds it, a child of the map (MapAccessible): its
// address and description as its name, its state in the device list's words as its description.
class MapBadgeAccessible : public QAccessibleObject
{
public:
    explicit MapBadgeAccessible(DeviceEntryRepresentationGraphicsItem* badge);

    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override;
    QAccessible::Role role() const override { return QAccessible::Graphic; }
    QAccessible::State state() const override;
    QRect rect() const override;

private:
    DeviceEntryRepresentationGraphicsItem* badge() const;
    QGraphicsView* view() const;
};

} // namespace Tarnwick
