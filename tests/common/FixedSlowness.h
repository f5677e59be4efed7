// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/SlowView.h"

#include <QSet>

namespace Tarnwick {

// Which devices are slow, as the test says.
class FixedSlowness : public SlowView
{
public:
    QSet<QString> slow;

    void set(const QString& ip, bool isNowSlow)
    {
        if (isNowSlow)
            slow.insert(ip);
        else
            slow.remove(ip);
        emit slownessChanged(ip);
    }
    bool isSlow(const QString& ip) const override { return slow.contains(ip); }
};

} // namespace Tarnwick
