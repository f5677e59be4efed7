// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

namespace Tarnwick {

// What the views ask about reachability: which failed device a disconnected one is cut off
// behind, and how many are cut off behind a failed one. Told again when it changes.
class ReachabilityView : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // The failed device this one is cut off behind; empty when it is not cut off.
    virtual QString behind(const QString& ip) const = 0;
    virtual int countBehind(const QString& ip) const = 0;

signals:
    void reachabilityChanged();
};

} // namespace Tarnwick
