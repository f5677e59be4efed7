// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/ReachabilityView.h"

#include <QHash>

#include <algorithm>

namespace Tarnwick {

// Who is cut off behind whom, as the test says.
class FixedReachability : public ReachabilityView
{
public:
    QHash<QString, QString> cutOff;

    void set(QHash<QString, QString> newCutOff)
    {
        cutOff = std::move(newCutOff);
        emit reachabilityChanged();
    }
    QString behind(const QString& ip) const override { return cutOff.value(ip); }
    int countBehind(const QString& ip) const override { return int(std::count(cutOff.cbegin(), cutOff.cend(), ip)); }
};

} // namespace Tarnwick
