// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;

namespace Tarnwick {

class DeviceCheckField;
class DeviceTypeComboBox;
class EchoOptionsField;
class SlowLimitsField;

// Adds one device to the list each time "Add" is pressed; "OK" (or Enter) adds what is typed,
// unless "Add" has added it already, and closes. An address that cannot be a device's, or that
// is in the list already, is refused with a message that says why.
class AddDeviceDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AddDeviceDialog(QWidget* parent = nullptr);

    // Starts the fields with a device found elsewhere, for the user to complete and add.
    void fillIn(const QString& address, const QString& description);

private slots:
    void AddPushButtonClicked();
    void OkPushButtonClicked();

private:
    // Adds the entry the fields describe; false (after saying why) when it cannot.
    bool addTypedEntry();
    void refuse(const QString& why);

    QLineEdit* m_ipEdit;
    DeviceTypeComboBox* m_typeCombo;
    QLineEdit* m_descriptionEdit;
    QCheckBox* m_informCheckBox;
    DeviceCheckField* m_checkField;
    SlowLimitsField* m_slowField;
    EchoOptionsField* m_echoField;
    QString m_lastAdded;
};

} // namespace Tarnwick
