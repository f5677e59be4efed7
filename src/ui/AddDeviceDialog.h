#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;

namespace Tarnwick {

class DeviceTypeComboBox;

// Adds one device to the list each time "Add" is pressed; "OK" closes it.
class AddDeviceDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AddDeviceDialog(QWidget* parent = nullptr);

private slots:
    void AddPushButtonClicked();
    void OkPushButtonClicked();

private:
    QLineEdit* m_ipEdit;
    DeviceTypeComboBox* m_typeCombo;
    QLineEdit* m_descriptionEdit;
    QCheckBox* m_informCheckBox;
};

} // namespace Tarnwick
