#include "AddDeviceDialog.h"

#include "DeviceFormLayout.h"
#include "DeviceTypeComboBox.h"
#include "data/Data.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

namespace Tarnwick {

AddDeviceDialog::AddDeviceDialog(QWidget* parent)
    : QDialog(parent)
    , m_ipEdit(new QLineEdit(this))
    , m_typeCombo(new DeviceTypeComboBox(this))
    , m_descriptionEdit(new QLineEdit(this))
    , m_informCheckBox(new QCheckBox(this))
{
    setWindowTitle(QStringLiteral("Add Device - Tarnwick"));
    m_ipEdit->setObjectName(QStringLiteral("ipEdit"));
    m_typeCombo->setObjectName(QStringLiteral("typeCombo"));
    m_descriptionEdit->setObjectName(QStringLiteral("descriptionEdit"));
    m_informCheckBox->setObjectName(QStringLiteral("informCheckBox"));
    auto* layout = new DeviceFormLayout(this, m_ipEdit, m_typeCombo, m_descriptionEdit, m_informCheckBox);
    auto* add = new QPushButton(QStringLiteral("Add"), this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    add->setObjectName(QStringLiteral("addButton"));
    ok->setObjectName(QStringLiteral("okButton"));
    layout->buttonRow()->addWidget(add);
    layout->buttonRow()->addWidget(ok);
    connect(add, &QPushButton::pressed, this, &AddDeviceDialog::AddPushButtonClicked);
    connect(ok, &QPushButton::pressed, this, &AddDeviceDialog::OkPushButtonClicked);
}

void AddDeviceDialog::AddPushButtonClicked()
{
    Data* store = Data::instance();
    if (!store)
        return;
    store->addEntry(DeviceEntry(m_ipEdit->text(), m_descriptionEdit->text(), m_typeCombo->currentType(),
                                m_informCheckBox->checkState() == Qt::Checked, NoReplyResult));
}

void AddDeviceDialog::OkPushButtonClicked()
{
    accept();
}

} // namespace Tarnwick
