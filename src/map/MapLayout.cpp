// SPDX-License-Identifier: GPL-3.0-or-later
#include "MapLayout.h"

#include <QPoint>

#include <algorithm>
#include <cstdlib>

namespace Tarnwick {

namespace {

bool isFree(const QList<VisualRepresentationItem>& taken, const QPoint& spot)
{
    return std::none_of(taken.begin(), taken.end(), [&](const VisualRepresentationItem& item) {
        return std::abs(item.x - spot.x()) < MapLayout::Spacing && std::abs(item.y - spot.y()) < MapLayout::Spacing;
    });
}

// The free spot nearest to the anchor, ring by ring of a grid of Spacing.
QPoint freeSpotNear(const QList<VisualRepresentationItem>& taken, const QPoint& anchor)
{
    for (int ring = 1;; ++ring) {
        for (int dy = -ring; dy <= ring; ++dy) {
            for (int dx = -ring; dx <= ring; ++dx) {
                if (std::max(std::abs(dx), std::abs(dy)) != ring)
                    continue;
                const QPoint spot = anchor + QPoint(dx, dy) * MapLayout::Spacing;
                if (isFree(taken, spot))
                    return spot;
            }
        }
    }
}

} // namespace

QList<VisualRepresentationItem> MapLayout::placeNew(const QList<VisualRepresentationItem>& placed,
                                                    const QList<VisualRepresentationItemConnection>& connections,
                                                    const QStringList& newAddresses)
{
    QList<VisualRepresentationItem> taken = placed;
    QList<VisualRepresentationItem> added;
    const auto placeOf = [&](const QString& ip) -> const VisualRepresentationItem* {
        for (const VisualRepresentationItem& item : taken) {
            if (item.ip == ip)
                return &item;
        }
        return nullptr;
    };
    // Rows for devices without a placed neighbour start below everything, at the left.
    int left = 0;
    int bottom = 0;
    for (const VisualRepresentationItem& item : placed) {
        left = std::min(left, item.x);
        bottom = std::max(bottom, item.y);
    }
    const QPoint rowStart(left, placed.isEmpty() ? 0 : bottom + Spacing);
    int inRow = 0;
    for (const QString& ip : newAddresses) {
        if (placeOf(ip))
            continue;
        std::optional<QPoint> anchor;
        for (const VisualRepresentationItemConnection& connection : connections) {
            const QString other = connection.ip1 == ip ? connection.ip2
                : connection.ip2 == ip                 ? connection.ip1
                                                       : QString();
            if (const VisualRepresentationItem* neighbour = other.isEmpty() ? nullptr : placeOf(other)) {
                anchor = QPoint(neighbour->x, neighbour->y);
                break;
            }
        }
        QPoint spot;
        if (anchor) {
            spot = freeSpotNear(taken, *anchor);
        } else {
            // Eight to a row, skipping taken spots.
            do {
                spot = rowStart + QPoint((inRow % 8) * Spacing, (inRow / 8) * Spacing);
                ++inRow;
            } while (!isFree(taken, spot));
        }
        const VisualRepresentationItem item{ip, spot.x(), spot.y()};
        taken << item;
        added << item;
    }
    return added;
}

} // namespace Tarnwick
