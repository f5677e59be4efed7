// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/DeviceCheck.h"

#include <QLineEdit>
#include <QList>

namespace Tarnwick {

// The "More checks" row of the device dialogs: the checks asked besides the first, in the
// words the device list keeps them ("tcp:443 arp"). Empty: none. Given several entries whose
// further checks differ, it starts empty, and left so, each keeps its own.
class MoreChecksField : public QLineEdit
{
    Q_OBJECT

public:
    explicit MoreChecksField(QWidget* parent = nullptr);

    // The further checks of each entry shown.
    void setChecks(const QList<QList<DeviceCheck>>& checks);
    // The further checks an entry gets whose own are own, whose first check is first and
    // whose probed address is the one given; problem says why they cannot be taken, in the
    // user's language, empty when they can.
    QList<DeviceCheck> appliedTo(const QList<DeviceCheck>& own, const DeviceCheck& first, const QString& probedAddress,
                                 QString* problem) const;
    // Whether the further checks may hold an echo: the text names one, or entries keep their own.
    bool mayAskEcho() const;

private:
    bool m_several = false;
};

} // namespace Tarnwick
