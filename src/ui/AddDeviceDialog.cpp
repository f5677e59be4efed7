// SPDX-License-Identifier: GPL-3.0-or-later
#include "AddDeviceDialog.h"

#include "DeviceCheckField.h"
#include "DeviceFormLayout.h"
#include "DeviceTypeComboBox.h"
#include "EchoOptionsField.h"
#include "MoreChecksField.h"
#include "SlowLimitsField.h"
#include "data/Data.h"
#include "data/DeviceAddress.h"
#include "data/PhraseBook.h"
#include "data/XmlStreamParser.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace Tarnwick {

AddDeviceDialog::AddDeviceDialog(QWidget* parent)
    : QDialog(parent)
    , m_ipEdit(new QLineEdit(this))
    , m_typeCombo(new DeviceTypeComboBox(this))
    , m_descriptionEdit(new QLineEdit(this))
    , m_informCheckBox(new QCheckBox(this))
    , m_checkField(new DeviceCheckField(this))
    , m_moreChecksField(new MoreChecksField(this))
    , m_slowField(new SlowLimitsField(this))
    , m_echoField(new EchoOptionsField(this))
{
    setWindowTitle(tr("Add Device - Tarnwick"));
    m_ipEdit->setObjectName(QStringLiteral("ipEdit"));
    m_typeCombo->setObjectName(QStringLiteral("typeCombo"));
    m_descriptionEdit->setObjectName(QStringLiteral("descriptionEdit"));
    m_informCheckBox->setObjectName(QStringLiteral("informCheckBox"));
    m_descriptionEdit->setMaxLength(int(XmlStreamParser::MaxTextLength));
    m_ipEdit->setMaxLength(253);
    auto* layout = new DeviceFormLayout(this, m_ipEdit, m_typeCombo, m_descriptionEdit, m_informCheckBox);
    //: The label of the field that chooses how the device is checked
    layout->addField(tr("Check"), m_checkField);
    layout->addField(tr("More checks"), m_moreChecksField);
    //: The label of the limits past which the device counts as slow
    layout->addField(tr("Slow when"), m_slowField);
    layout->addEchoOptions(m_echoField, m_checkField, m_moreChecksField);
    connect(m_ipEdit, &QLineEdit::textChanged, m_checkField, &DeviceCheckField::setAddress);
    //: Button: adds the device typed and keeps the dialog open
    auto* add = new QPushButton(tr("Add"), this);
    auto* ok = new QPushButton(tr("OK"), this);
    add->setObjectName(QStringLiteral("addButton"));
    ok->setObjectName(QStringLiteral("okButton"));
    // Enter means "OK": what was typed is kept.
    add->setAutoDefault(false);
    ok->setDefault(true);
    layout->buttonRow()->addWidget(add);
    layout->buttonRow()->addWidget(ok);
    connect(add, &QPushButton::pressed, this, &AddDeviceDialog::AddPushButtonClicked);
    connect(ok, &QPushButton::pressed, this, &AddDeviceDialog::OkPushButtonClicked);
}

void AddDeviceDialog::fillIn(const QString& address, const QString& description)
{
    m_ipEdit->setText(address);
    m_descriptionEdit->setText(description);
}

void AddDeviceDialog::refuse(const QString& why)
{
    DeviceFormLayout::refuse(this, why);
}

bool AddDeviceDialog::addTypedEntry()
{
    Data* store = Data::instance();
    if (!store)
        return false;
    const QString address = DeviceAddress::normalised(m_ipEdit->text());
    const QString problem = PhraseBook::translate(DeviceAddress::problem(address));
    if (!problem.isEmpty()) {
        refuse(problem);
        return false;
    }
    if (const QString checkProblem = m_checkField->problem(); !checkProblem.isEmpty()) {
        refuse(checkProblem);
        return false;
    }
    const DeviceCheck check = m_checkField->check().value_or(DeviceCheck{});
    QString moreProblem;
    const QList<DeviceCheck> moreChecks = m_moreChecksField->appliedTo({}, check, DeviceAddress::probed(address),
                                                                       &moreProblem);
    if (!moreProblem.isEmpty()) {
        refuse(moreProblem);
        return false;
    }
    if (store->contains(address)) {
        refuse(tr("\"%1\" is in the device list already.").arg(address));
        return false;
    }
    DeviceEntry entry(address, m_descriptionEdit->text(), m_typeCombo->currentType(),
                      m_informCheckBox->checkState() == Qt::Checked, NoReplyResult);
    entry.check = check;
    entry.moreChecks = moreChecks;
    entry.slowLimits = m_slowField->appliedTo({});
    entry.echo = m_echoField->appliedTo({});
    store->addEntry(entry);
    m_lastAdded = address;
    return true;
}

void AddDeviceDialog::AddPushButtonClicked()
{
    addTypedEntry();
}

void AddDeviceDialog::OkPushButtonClicked()
{
    const QString address = DeviceAddress::normalised(m_ipEdit->text());
    if (address.isEmpty() || address == m_lastAdded || addTypedEntry())
        accept();
}

} // namespace Tarnwick
