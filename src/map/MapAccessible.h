// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAccessibleWidget>

namespace Tarnwick {

class DeviceEntryRepresentationGraphicsItem;
class VisualRepresentationWidget;

// The map tab as a screen reader finds it: its widgets, then its badges in the order they were
// placed (each a MapBadgeAccessible), which the view draws and no widget holds.
class MapAccessible : public QAccessibleWidget
{
public:
    explicit MapAccessible(VisualRepresentationWidget* map);

    // Lets Qt's accessibility make these for maps and their badges; a second call changes nothing.
    static void install();

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;

private:
    const QList<DeviceEntryRepresentationGraphicsItem*>& badges() const;
};

} // namespace Tarnwick
