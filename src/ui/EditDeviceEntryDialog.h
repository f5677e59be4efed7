// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/DeviceEntry.h"

#include <QDialog>
#include <QList>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace Tarnwick {

class DeviceCheckField;
class DeviceTypeComboBox;
class SlowLimitsField;

// Changes the type, description and notification flag of one entry; its address stays. Given
// several entries, it sets the type and the flag of them all at once; each keeps its own
// description, and its own type or flag where those differ and the user leaves them so.
class EditDeviceEntryDialog : public QDialog
{
    Q_OBJECT

public:
    explicit EditDeviceEntryDialog(const DeviceEntry& entry, QWidget* parent = nullptr);
    explicit EditDeviceEntryDialog(const QList<DeviceEntry>& entries, QWidget* parent = nullptr);

private slots:
    void OkPushButtonClicked();
    void CancelPushButtonClicked();

private:
    QLabel* m_ipLabel;
    DeviceTypeComboBox* m_typeCombo;
    QLineEdit* m_descriptionEdit;
    QCheckBox* m_informCheckBox;
    DeviceCheckField* m_checkField;
    SlowLimitsField* m_slowField;
    QList<DeviceEntry> m_entries;
};

} // namespace Tarnwick
