// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowPlacement.h"

#include <algorithm>

namespace Tarnwick {

namespace {

qint64 overlap(const QRect& a, const QRect& b)
{
    const QRect common = a.intersected(b);
    return common.isEmpty() ? 0 : qint64(common.width()) * common.height();
}

int clampInto(int start, int length, int areaStart, int areaLength)
{
    return std::clamp(start, areaStart, areaStart + std::max(0, areaLength - length));
}

} // namespace

QRect WindowPlacement::fit(const QRect& stored, const QList<QRect>& availableAreas, const QSize& minimum)
{
    if (availableAreas.isEmpty())
        return stored;
    QRect area = availableAreas.first();
    for (const QRect& candidate : availableAreas) {
        if (overlap(stored, candidate) > overlap(stored, area))
            area = candidate;
    }
    const QSize size = stored.size().expandedTo(minimum).boundedTo(area.size());
    return QRect(clampInto(stored.x(), size.width(), area.x(), area.width()),
                 clampInto(stored.y(), size.height(), area.y(), area.height()), size.width(), size.height());
}

} // namespace Tarnwick
