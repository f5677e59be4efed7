// SPDX-License-Identifier: GPL-3.0-or-later
#include "MapLayout.h"

#include <QHash>
#include <QPointF>
#include <QQueue>
#include <QRectF>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace Tarnwick {

namespace {

using Neighbours = QHash<QString, QStringList>;

bool isFree(const QList<VisualRepresentationItem>& taken, const QPoint& spot)
{
    return std::none_of(taken.begin(), taken.end(), [&](const VisualRepresentationItem& item) {
        return std::abs(item.x - spot.x()) < MapLayout::ColumnWidth && std::abs(item.y - spot.y()) < MapLayout::Spacing;
    });
}

// The free spot nearest below the anchor: along the row below it, then the rows further down.
QPoint freeSpotBelow(const QList<VisualRepresentationItem>& taken, const QPoint& anchor)
{
    for (int row = 1;; ++row) {
        for (int step = 0; step <= 16; ++step) {
            const int column = step % 2 ? (step + 1) / 2 : -step / 2;
            const QPoint spot = anchor + QPoint(column * MapLayout::ColumnWidth, row * MapLayout::RowHeight);
            if (isFree(taken, spot))
                return spot;
        }
    }
}

// A tree laid out in rings, as the balloon layouts of network diagram tools do: the devices
// that hang from one stand around it on a ring, each with its own subtree in a wedge of the
// ring that no other wedge shares, and clear of the line to the device it hangs from. Lines
// then run out from each device through its wedges only and cross no badge, however many hang
// from it, where rows would make the lines to the far ends of a long row graze the badges
// beside them.
class BalloonTree
{
public:
    BalloonTree(const Neighbours& neighbours, const QString& root, const QSet<QString>& members)
    {
        QSet<QString> seen{root};
        QQueue<QString> open;
        open.enqueue(root);
        while (!open.isEmpty()) {
            const QString at = open.dequeue();
            for (const QString& next : neighbours.value(at)) {
                if (members.contains(next) && !seen.contains(next)) {
                    seen.insert(next);
                    m_children[at] << next;
                    open.enqueue(next);
                }
            }
        }
        measure(root, true);
        // The first ring starts straight below the root.
        place(root, QPointF(0, 0), M_PI / 2, true);
    }

    // Places around the root at (0, 0).
    QHash<QString, QPointF> spots() const { return m_spots; }

private:
    // Room a badge needs around its centre, across.
    static constexpr qreal BadgeRadius = 110;
    static constexpr qreal MinRing = 220;

    // The angle of a ring of radius ring that a circle of radius r on it takes.
    static qreal wedge(qreal r, qreal ring) { return 2 * std::asin(std::min<qreal>(1, r / ring)); }

    // The ring of each device, and the radius of the circle that holds its subtree.
    qreal measure(const QString& ip, bool root)
    {
        const QStringList children = m_children.value(ip);
        if (children.isEmpty()) {
            m_radius.insert(ip, BadgeRadius);
            return BadgeRadius;
        }
        qreal largest = 0;
        for (const QString& child : children)
            largest = std::max(largest, measure(child, false));
        qreal ring = std::max(MinRing, largest + BadgeRadius);
        for (;; ring += 10) {
            qreal taken = root ? 0 : wedge(BadgeRadius, ring);
            for (const QString& child : children)
                taken += wedge(m_radius.value(child), ring);
            if (taken <= 2 * M_PI)
                break;
        }
        m_ring.insert(ip, ring);
        m_radius.insert(ip, ring + largest);
        return ring + largest;
    }

    // Spreads the wedges evenly round the ring; a device that hangs from another keeps the
    // wedge facing that one free, for the line to it.
    void place(const QString& ip, const QPointF& at, qreal outward, bool root)
    {
        m_spots.insert(ip, at);
        const QStringList children = m_children.value(ip);
        if (children.isEmpty())
            return;
        const qreal ring = m_ring.value(ip);
        const qreal kept = root ? 0 : wedge(BadgeRadius, ring);
        qreal taken = kept;
        for (const QString& child : children)
            taken += wedge(m_radius.value(child), ring);
        const qreal slack = (2 * M_PI - taken) / qreal(children.size() + (root ? 0 : 1));
        // Round from just past the kept wedge (or from straight below the root).
        qreal angle = root ? outward - wedge(m_radius.value(children.first()), ring) / 2
                           : outward + M_PI + kept / 2 + slack / 2;
        for (const QString& child : children) {
            const qreal width = wedge(m_radius.value(child), ring);
            const qreal middle = angle + width / 2;
            place(child, at + ring * QPointF(std::cos(middle), std::sin(middle)), middle, false);
            angle += width + slack;
        }
    }

    QHash<QString, QStringList> m_children;
    QHash<QString, qreal> m_ring;
    QHash<QString, qreal> m_radius;
    QHash<QString, QPointF> m_spots;
};

} // namespace

QList<VisualRepresentationItem> MapLayout::placeNew(const QList<VisualRepresentationItem>& placed,
                                                    const QList<VisualRepresentationItemConnection>& connections,
                                                    const QStringList& newAddresses, const QString& firstHop)
{
    QList<VisualRepresentationItem> taken = placed;
    QList<VisualRepresentationItem> added;
    QHash<QString, QPoint> at;
    for (const VisualRepresentationItem& item : placed)
        at.insert(item.ip, QPoint(item.x, item.y));
    QStringList wanted;
    for (const QString& ip : newAddresses) {
        if (!at.contains(ip) && !wanted.contains(ip))
            wanted << ip;
    }
    const QSet<QString> wantedSet(wanted.cbegin(), wanted.cend());
    Neighbours neighbours;
    for (const VisualRepresentationItemConnection& connection : connections) {
        if (connection.ip1 == connection.ip2)
            continue;
        neighbours[connection.ip1] << connection.ip2;
        neighbours[connection.ip2] << connection.ip1;
    }
    const auto put = [&](const QString& ip, const QPoint& spot) {
        const VisualRepresentationItem item{ip, spot.x(), spot.y()};
        at.insert(ip, spot);
        taken << item;
        added << item;
    };

    // Out from the placed devices, one line at a time: each new device goes below the one it
    // was reached from.
    QQueue<QString> open;
    for (const VisualRepresentationItem& item : placed)
        open.enqueue(item.ip);
    while (!open.isEmpty()) {
        const QString from = open.dequeue();
        for (const QString& next : neighbours.value(from)) {
            if (wantedSet.contains(next) && !at.contains(next)) {
                put(next, freeSpotBelow(taken, at.value(from)));
                open.enqueue(next);
            }
        }
    }

    // Groups joined to nothing placed: a tree each, side by side below the map.
    int left = 0;
    int bottom = 0;
    for (const VisualRepresentationItem& item : std::as_const(taken)) {
        left = std::min(left, item.x);
        bottom = std::max(bottom, item.y);
    }
    const int top = taken.isEmpty() ? 0 : bottom + RowHeight;
    int nextLeft = left;
    QStringList alone;
    for (const QString& ip : std::as_const(wanted)) {
        if (at.contains(ip))
            continue;
        QSet<QString> group{ip};
        QQueue<QString> walk;
        walk.enqueue(ip);
        while (!walk.isEmpty()) {
            for (const QString& next : neighbours.value(walk.dequeue())) {
                if (wantedSet.contains(next) && !group.contains(next)) {
                    group.insert(next);
                    walk.enqueue(next);
                }
            }
        }
        if (group.size() == 1) {
            alone << ip;
            continue;
        }
        QString root = ip;
        if (group.contains(firstHop)) {
            root = firstHop;
        } else {
            const auto degree = [&](const QString& device) {
                return std::count_if(neighbours.value(device).cbegin(), neighbours.value(device).cend(),
                                     [&](const QString& other) { return group.contains(other); });
            };
            for (const QString& candidate : std::as_const(wanted)) {
                if (group.contains(candidate) && degree(candidate) > degree(root))
                    root = candidate;
            }
        }
        const QHash<QString, QPointF> spots = BalloonTree(neighbours, root, group).spots();
        QRectF area;
        for (const QPointF& spot : spots)
            area |= QRectF(spot, QSizeF(1, 1));
        const QPointF origin = QPointF(nextLeft, top) - area.topLeft();
        for (const QString& device : std::as_const(wanted)) {
            if (spots.contains(device))
                put(device, (origin + spots.value(device)).toPoint());
        }
        nextLeft += int(area.width()) + 2 * ColumnWidth;
    }

    // Devices without lines: eight to a row below everything, skipping taken spots.
    bottom = 0;
    for (const VisualRepresentationItem& item : std::as_const(taken))
        bottom = std::max(bottom, item.y);
    const QPoint rowStart(left, taken.isEmpty() ? 0 : bottom + RowHeight);
    int inRow = 0;
    for (const QString& ip : std::as_const(alone)) {
        QPoint spot;
        do {
            spot = rowStart + QPoint((inRow % 8) * ColumnWidth, (inRow / 8) * RowHeight);
            ++inRow;
        } while (!isFree(taken, spot));
        put(ip, spot);
    }
    return added;
}

} // namespace Tarnwick
