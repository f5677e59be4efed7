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
class EchoOptionsField;
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
    // Gives an entry without an address the one typed, or says why not.
    void giveAddress();

    QLabel* m_ipLabel;
    // For an entry the list gave no address: where the user types one.
    QLineEdit* m_ipEdit = nullptr;
    DeviceTypeComboBox* m_typeCombo;
    QLineEdit* m_descriptionEdit;
    QCheckBox* m_informCheckBox;
    DeviceCheckField* m_checkField;
    SlowLimitsField* m_slowField;
    EchoOptionsField* m_echoField;
    QList<DeviceEntry> m_entries;
};

} // namespace Tarnwick
