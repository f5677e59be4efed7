// SPDX-License-Identifier: GPL-3.0-or-later
#include "MapBadgeAccessible.h"

#include "DeviceEntryRepresentationGraphicsItem.h"

#include <QGraphicsScene>
#include <QGraphicsView>

namespace Tarnwick {

MapBadgeAccessible::MapBadgeAccessible(DeviceEntryRepresentationGraphicsItem* badge)
    : QAccessibleObject(badge)
{
}

DeviceEntryRepresentationGraphicsItem* MapBadgeAccessible::badge() const
{
    return static_cast<DeviceEntryRepresentationGraphicsItem*>(object());
}

QGraphicsView* MapBadgeAccessible::view() const
{
    const QGraphicsScene* scene = badge()->scene();
    return scene && !scene->views().isEmpty() ? scene->views().first() : nullptr;
}

QWindow* MapBadgeAccessible::window() const
{
    const QAccessibleInterface* map = parent();
    return map ? map->window() : nullptr;
}

QAccessibleInterface* MapBadgeAccessible::parent() const
{
    // The map holds the view that draws its badges.
    const QGraphicsView* shownIn = view();
    return shownIn ? QAccessible::queryAccessibleInterface(shownIn->parentWidget()) : nullptr;
}

QString MapBadgeAccessible::text(QAccessible::Text t) const
{
    switch (t) {
    case QAccessible::Name:
        return badge()->spokenName();
    case QAccessible::Description:
        return badge()->spokenState();
    default:
        return {};
    }
}

QAccessible::State MapBadgeAccessible::state() const
{
    QAccessible::State state;
    const QGraphicsView* shownIn = view();
    state.invisible = !badge()->isVisible() || !shownIn || !shownIn->isVisible();
    state.offscreen = state.invisible
        || !QRect(shownIn->viewport()->mapToGlobal(QPoint(0, 0)), shownIn->viewport()->size()).intersects(rect());
    state.selectable = true;
    state.selected = badge()->isSelected();
    return state;
}

QRect MapBadgeAccessible::rect() const
{
    const QGraphicsView* shownIn = view();
    if (!shownIn)
        return {};
    return shownIn->mapFromScene(badge()->sceneBoundingRect())
        .boundingRect()
        .translated(shownIn->viewport()->mapToGlobal(QPoint(0, 0)));
}

} // namespace Tarnwick
