// SPDX-License-Identifier: GPL-3.0-or-later
#include "EditDeviceEntryDialog.h"

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
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace Tarnwick {

namespace {

template <typename Value>
bool allAlike(const QList<DeviceEntry>& entries, Value DeviceEntry::*field)
{
    return std::all_of(entries.begin(), entries.end(),
                       [&](const DeviceEntry& entry) { return entry.*field == entries.first().*field; });
}

} // namespace

EditDeviceEntryDialog::EditDeviceEntryDialog(const DeviceEntry& entry, QWidget* parent)
    : EditDeviceEntryDialog(QList<DeviceEntry>{entry}, parent)
{
}

EditDeviceEntryDialog::EditDeviceEntryDialog(const QList<DeviceEntry>& entries, QWidget* parent)
    : QDialog(parent)
    , m_ipLabel(new QLabel(this))
    , m_typeCombo(new DeviceTypeComboBox(this))
    , m_descriptionEdit(new QLineEdit(this))
    , m_informCheckBox(new QCheckBox(this))
    , m_checkField(new DeviceCheckField(this))
    , m_moreChecksField(new MoreChecksField(this))
    , m_slowField(new SlowLimitsField(this))
    , m_echoField(new EchoOptionsField(this))
    , m_entries(entries)
{
    Q_ASSERT(!entries.isEmpty());
    setWindowTitle(tr("Edit Device Entry - Tarnwick"));
    m_ipLabel->setObjectName(QStringLiteral("ipLabel"));
    m_ipLabel->setTextFormat(Qt::PlainText);
    m_typeCombo->setObjectName(QStringLiteral("typeCombo"));
    m_descriptionEdit->setObjectName(QStringLiteral("descriptionEdit"));
    m_informCheckBox->setObjectName(QStringLiteral("informCheckBox"));
    const DeviceEntry& first = entries.first();
    if (entries.size() == 1 && !first.hasAddress()) {
        m_ipEdit = new QLineEdit(this);
        m_ipEdit->setObjectName(QStringLiteral("ipEdit"));
        m_ipEdit->setMaxLength(253);
        m_ipEdit->setPlaceholderText(tr("The list gives no address: type one"));
        m_ipLabel->hide();
        connect(m_ipEdit, &QLineEdit::textChanged, m_checkField, &DeviceCheckField::setAddress);
    }
    auto* layout = new DeviceFormLayout(this, m_ipEdit ? static_cast<QWidget*>(m_ipEdit) : m_ipLabel, m_typeCombo,
                                        m_descriptionEdit, m_informCheckBox);
    auto* cancel = new QPushButton(tr("Cancel"), this);
    auto* ok = new QPushButton(tr("OK"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    ok->setObjectName(QStringLiteral("okButton"));
    // Enter means "OK": the edit is kept.
    cancel->setAutoDefault(false);
    ok->setDefault(true);
    m_descriptionEdit->setMaxLength(int(XmlStreamParser::MaxTextLength));
    //: The label of the field that chooses how the device is checked
    layout->addField(tr("Check"), m_checkField);
    layout->addField(tr("More checks"), m_moreChecksField);
    //: The label of the limits past which the device counts as slow
    layout->addField(tr("Slow when"), m_slowField);
    layout->addEchoOptions(m_echoField, m_checkField, m_moreChecksField);
    layout->buttonRow()->addWidget(cancel);
    layout->buttonRow()->addWidget(ok);

    if (entries.size() == 1) {
        m_ipLabel->setText(first.ip);
        m_descriptionEdit->setText(first.description);
        m_checkField->setAddress(first.ip);
    } else {
        QStringList addresses;
        for (const DeviceEntry& entry : entries)
            addresses << entry.ip;
        //: In place of the address, when several devices are edited at once
        m_ipLabel->setText(tr("%n devices", nullptr, int(entries.size())));
        m_ipLabel->setToolTip(addresses.join(QLatin1Char('\n')));
        m_descriptionEdit->setEnabled(false);
        //: Several devices edited at once: each keeps the description it has
        m_descriptionEdit->setPlaceholderText(tr("Each keeps its own"));
    }
    // Where the entries differ, the field starts blank (the type) or half set (the flag), and
    // left so, each entry keeps its own.
    if (allAlike(entries, &DeviceEntry::type))
        m_typeCombo->setCurrentType(first.type);
    else
        m_typeCombo->setCurrentIndex(-1);
    if (allAlike(entries, &DeviceEntry::informOnStateChange)) {
        m_informCheckBox->setChecked(first.informOnStateChange);
    } else {
        m_informCheckBox->setTristate(true);
        m_informCheckBox->setCheckState(Qt::PartiallyChecked);
    }
    QList<DeviceCheck> checks;
    QList<QList<DeviceCheck>> moreChecks;
    for (const DeviceEntry& entry : entries) {
        checks << entry.check;
        moreChecks << entry.moreChecks;
    }
    m_checkField->setChecks(checks);
    m_moreChecksField->setChecks(moreChecks);
    m_slowField->setLimits(entries);
    QList<EchoOptions> echoes;
    for (const DeviceEntry& entry : entries)
        echoes << entry.echo;
    m_echoField->setOptions(echoes);

    connect(ok, &QPushButton::pressed, this, &EditDeviceEntryDialog::OkPushButtonClicked);
    connect(cancel, &QPushButton::pressed, this, &EditDeviceEntryDialog::CancelPushButtonClicked);
}

void EditDeviceEntryDialog::OkPushButtonClicked()
{
    if (m_ipEdit) {
        giveAddress();
        return;
    }
    if (Data* store = Data::instance()) {
        // Every entry's checks are read before any is changed: one refused changes none.
        QList<QList<DeviceCheck>> moreChecks;
        for (const DeviceEntry& entry : std::as_const(m_entries)) {
            QString problem;
            moreChecks << m_moreChecksField->appliedTo(entry.moreChecks, m_checkField->appliedTo(entry.check),
                                                       DeviceAddress::probed(entry.ip), &problem);
            if (!problem.isEmpty()) {
                //: %1: the device's address, %2: why its checks cannot be taken
                DeviceFormLayout::refuse(this, m_entries.size() == 1 ? problem : tr("%1: %2").arg(entry.ip, problem));
                return;
            }
        }
        const Qt::CheckState inform = m_informCheckBox->checkState();
        for (qsizetype i = 0; i < m_entries.size(); ++i) {
            const DeviceEntry& entry = m_entries.at(i);
            store->changeEntry(entry.ip, entry.ip,
                               inform == Qt::PartiallyChecked ? entry.informOnStateChange : inform == Qt::Checked,
                               m_entries.size() == 1 ? m_descriptionEdit->text() : entry.description,
                               m_typeCombo->currentIndex() < 0 ? entry.type : m_typeCombo->currentType(),
                               m_checkField->appliedTo(entry.check), m_slowField->appliedTo(entry.slowLimits),
                               m_echoField->appliedTo(entry.echo), moreChecks.at(i));
        }
    }
    accept();
}

void EditDeviceEntryDialog::giveAddress()
{
    Data* store = Data::instance();
    if (!store)
        return;
    const QString address = DeviceAddress::normalised(m_ipEdit->text());
    QString problem = PhraseBook::translate(DeviceAddress::problem(address));
    if (problem.isEmpty())
        problem = m_checkField->problem();
    const DeviceEntry& before = m_entries.first();
    const DeviceCheck check = m_checkField->appliedTo(before.check);
    QList<DeviceCheck> moreChecks;
    if (problem.isEmpty())
        moreChecks = m_moreChecksField->appliedTo(before.moreChecks, check, DeviceAddress::probed(address), &problem);
    if (problem.isEmpty() && store->contains(address))
        problem = tr("\"%1\" is in the device list already.").arg(address);
    if (!problem.isEmpty()) {
        DeviceFormLayout::refuse(this, problem);
        return;
    }
    // The entry comes back under its address, as one added: everything that follows the list
    // keys its devices by address.
    const Qt::CheckState inform = m_informCheckBox->checkState();
    DeviceEntry entry(
        address, m_descriptionEdit->text(), m_typeCombo->currentIndex() < 0 ? before.type : m_typeCombo->currentType(),
        inform == Qt::PartiallyChecked ? before.informOnStateChange : inform == Qt::Checked, NoReplyResult);
    entry.check = check;
    entry.moreChecks = moreChecks;
    entry.slowLimits = m_slowField->appliedTo(before.slowLimits);
    entry.echo = m_echoField->appliedTo(before.echo);
    store->removeEntry(before.ip);
    store->addEntry(entry);
    accept();
}

void EditDeviceEntryDialog::CancelPushButtonClicked()
{
    reject();
}

} // namespace Tarnwick
