// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/DeviceEntry.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace Tarnwick {

class DeviceTypeComboBox;

// Changes the type, description and notification flag of one entry; its address stays.
class EditDeviceEntryDialog : public QDialog
{
    Q_OBJECT

public:
    explicit EditDeviceEntryDialog(const DeviceEntry& entry, QWidget* parent = nullptr);

private slots:
    void OkPushButtonClicked();
    void CancelPushButtonClicked();

private:
    QLabel* m_ipLabel;
    DeviceTypeComboBox* m_typeCombo;
    QLineEdit* m_descriptionEdit;
    QCheckBox* m_informCheckBox;
    DeviceEntry m_entry;
};

} // namespace Tarnwick
