// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/DeviceEntry.h"

#include <QList>
#include <QWidget>

namespace Tarnwick {

class SlowLimitBox;

// The "Slow when" row of the device dialogs: the average round trip, the loss and the number of
// results a device is judged over, each "Use the settings" until the user gives one of its own.
// Given several entries whose limits differ, a box starts at "Each keeps its own", and left so,
// each entry keeps its own limit.
class SlowLimitsField : public QWidget
{
    Q_OBJECT

public:
    explicit SlowLimitsField(QWidget* parent = nullptr);

    void setLimits(const QList<DeviceEntry>& entries);
    // The limits an entry gets: what the boxes say, its own where a box keeps each one's.
    DeviceEntry::SlowLimits appliedTo(const DeviceEntry::SlowLimits& own) const;

private:
    SlowLimitBox* m_average;
    SlowLimitBox* m_loss;
    SlowLimitBox* m_results;
};

} // namespace Tarnwick
