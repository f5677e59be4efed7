// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <optional>

namespace Tarnwick {

// What the views, the metrics and the announcer ask about maintenance: whether a device is in
// maintenance now, and until when. Told again whenever a window is added or removed, or begins
// or ends.
class MaintenanceView : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // A window for the device, or for every device, covers now.
    virtual bool inMaintenance(const QString& ip) const = 0;
    // When the covering windows, one after the other, leave the device; none when it is not in
    // maintenance now.
    virtual std::optional<QDateTime> maintenanceEnds(const QString& ip) const = 0;

signals:
    // A window was added or removed, or began or ended.
    void changed();
};

} // namespace Tarnwick
