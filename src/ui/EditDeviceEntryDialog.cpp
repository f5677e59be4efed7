// SPDX-License-Identifier: GPL-3.0-or-later
#include "EditDeviceEntryDialog.h"

#include "DeviceFormLayout.h"
#include "DeviceTypeComboBox.h"
#include "data/Data.h"
#include "data/XmlStreamParser.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace Tarnwick {

EditDeviceEntryDialog::EditDeviceEntryDialog(const DeviceEntry& entry, QWidget* parent)
    : QDialog(parent)
    , m_ipLabel(new QLabel(this))
    , m_typeCombo(new DeviceTypeComboBox(this))
    , m_descriptionEdit(new QLineEdit(this))
    , m_informCheckBox(new QCheckBox(this))
    , m_entry(entry)
{
    setWindowTitle(QStringLiteral("Edit Device Entry - Tarnwick"));
    m_ipLabel->setObjectName(QStringLiteral("ipLabel"));
    m_ipLabel->setTextFormat(Qt::PlainText);
    m_typeCombo->setObjectName(QStringLiteral("typeCombo"));
    m_descriptionEdit->setObjectName(QStringLiteral("descriptionEdit"));
    m_informCheckBox->setObjectName(QStringLiteral("informCheckBox"));
    auto* layout = new DeviceFormLayout(this, m_ipLabel, m_typeCombo, m_descriptionEdit, m_informCheckBox);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    ok->setObjectName(QStringLiteral("okButton"));
    // Enter means "OK": the edit is kept.
    cancel->setAutoDefault(false);
    ok->setDefault(true);
    m_descriptionEdit->setMaxLength(int(XmlStreamParser::MaxTextLength));
    layout->buttonRow()->addWidget(cancel);
    layout->buttonRow()->addWidget(ok);

    m_ipLabel->setText(entry.ip);
    m_typeCombo->setCurrentType(entry.type);
    m_informCheckBox->setChecked(entry.informOnStateChange);
    m_descriptionEdit->setText(entry.description);

    connect(ok, &QPushButton::pressed, this, &EditDeviceEntryDialog::OkPushButtonClicked);
    connect(cancel, &QPushButton::pressed, this, &EditDeviceEntryDialog::CancelPushButtonClicked);
}

void EditDeviceEntryDialog::OkPushButtonClicked()
{
    if (Data* store = Data::instance()) {
        store->changeEntry(m_entry.ip, m_entry.ip, m_informCheckBox->checkState() == Qt::Checked,
                           m_descriptionEdit->text(), m_typeCombo->currentType());
    }
    accept();
}

void EditDeviceEntryDialog::CancelPushButtonClicked()
{
    reject();
}

} // namespace Tarnwick
