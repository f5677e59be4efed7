// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

namespace Tarnwick {

// Where a settings record tells that one of its fields took a new value. Subscribe to one field
// with Settings::onChange rather than to this directly.
class SettingsNotifier : public QObject
{
    Q_OBJECT

signals:
    // field: the changed field's place in Settings::forEachStoredField (Settings::fieldOf).
    void changed(int field);
};

} // namespace Tarnwick
