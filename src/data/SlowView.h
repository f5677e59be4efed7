// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

namespace Tarnwick {

// What the views ask about slowness: whether a connected device is slow now. Told again for
// each device whose answer changes, announced or not (a device judged afresh after its limits
// changed is no longer slow until it is judged again).
class SlowView : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual bool isSlow(const QString& ip) const = 0;

signals:
    void slownessChanged(const QString& ip);
};

} // namespace Tarnwick
