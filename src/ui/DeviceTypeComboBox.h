// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QComboBox>

namespace Tarnwick {

// The device type chooser of the add and edit dialogs: PC, AP, Router, Web, in that order,
// each with its skin icon and its type code.
class DeviceTypeComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit DeviceTypeComboBox(QWidget* parent = nullptr);

    int currentType() const;
    // Codes outside 1 to 4 choose "PC".
    void setCurrentType(int type);
};

} // namespace Tarnwick
