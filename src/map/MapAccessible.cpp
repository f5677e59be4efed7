// SPDX-License-Identifier: GPL-3.0-or-later
#include "MapAccessible.h"

#include "DeviceEntryRepresentationGraphicsItem.h"
#include "MapBadgeAccessible.h"
#include "VisualRepresentationWidget.h"

namespace Tarnwick {

namespace {

// Qt asks with each class name of the object, the most derived first.
QAccessibleInterface* accessibleFor(const QString& className, QObject* object)
{
    if (className == QLatin1String("Tarnwick::VisualRepresentationWidget"))
        return new MapAccessible(qobject_cast<VisualRepresentationWidget*>(object));
    if (className == QLatin1String("Tarnwick::DeviceEntryRepresentationGraphicsItem"))
        return new MapBadgeAccessible(qobject_cast<DeviceEntryRepresentationGraphicsItem*>(object));
    return nullptr;
}

} // namespace

MapAccessible::MapAccessible(VisualRepresentationWidget* map)
    : QAccessibleWidget(map)
{
}

void MapAccessible::install()
{
    QAccessible::installFactory(&accessibleFor);
}

const QList<DeviceEntryRepresentationGraphicsItem*>& MapAccessible::badges() const
{
    return static_cast<const VisualRepresentationWidget*>(widget())->badges();
}

int MapAccessible::childCount() const
{
    return QAccessibleWidget::childCount() + int(badges().size());
}

QAccessibleInterface* MapAccessible::child(int index) const
{
    const int widgets = QAccessibleWidget::childCount();
    if (index < widgets)
        return QAccessibleWidget::child(index);
    return QAccessible::queryAccessibleInterface(badges().value(index - widgets));
}

int MapAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    const qsizetype badge = child
        ? badges().indexOf(qobject_cast<DeviceEntryRepresentationGraphicsItem*>(child->object()))
        : -1;
    return badge < 0 ? QAccessibleWidget::indexOfChild(child) : QAccessibleWidget::childCount() + int(badge);
}

QAccessibleInterface* MapAccessible::childAt(int x, int y) const
{
    // The badges lie over the view that draws them; the last placed over the others.
    const QList<DeviceEntryRepresentationGraphicsItem*>& placed = badges();
    for (auto badge = placed.crbegin(); badge != placed.crend(); ++badge) {
        QAccessibleInterface* found = QAccessible::queryAccessibleInterface(*badge);
        if (found && !found->state().invisible && found->rect().contains(x, y))
            return found;
    }
    return QAccessibleWidget::childAt(x, y);
}

} // namespace Tarnwick
