// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QDateTime>
#include <QIcon>
#include <QRectF>
#include <QString>

#include <optional>

class QPainter;

namespace Tarnwick {

// The mark of a device in maintenance, a white wrench on a blue square, drawn wherever the
// device shows (the list's row, the map's badge), so that every skin shows it.
class MaintenanceMark
{
    Q_DECLARE_TR_FUNCTIONS(MaintenanceMark)

public:
    static void paint(QPainter& painter, const QRectF& place);
    // The mark at the list's size.
    static QIcon icon();
    // "In maintenance until 04:00" (the day too when it is not today's); empty when the device
    // is not in maintenance.
    static QString toolTip(const std::optional<QDateTime>& ends, const QDateTime& now);
};

} // namespace Tarnwick
