// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceFormLayout.h"

#include "DeviceCheckField.h"
#include "EchoOptionsField.h"
#include "MoreChecksField.h"

#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>

namespace Tarnwick {

void DeviceFormLayout::refuse(QWidget* dialog, const QString& why)
{
    auto* box = new QMessageBox(QMessageBox::Warning, dialog->windowTitle(), why, QMessageBox::Ok, dialog);
    box->setObjectName(QStringLiteral("refusal"));
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->show();
}

DeviceFormLayout::DeviceFormLayout(QWidget* dialog, QWidget* ipField, QWidget* typeField, QWidget* descriptionField,
                                   QWidget* informField)
    : QVBoxLayout(dialog)
    , m_grid(new QGridLayout)
    , m_buttons(new QHBoxLayout)
{
    const QStringList labels = {//: The label of the device's address field
                                tr("IP"),
                                //: The label of the device type field (PC, AP, Router, Web)
                                tr("Type"),
                                //: The label of the device's description field
                                tr("Description"),
                                //: The label of the check box: tell when the device's state changes
                                tr("Information on state change")};
    const QList<QWidget*> fields = {ipField, typeField, descriptionField, informField};
    for (int row = 0; row < 4; ++row)
        addLabelled(labels[row], fields[row], row + 1);
    addLayout(m_grid);
    m_buttons->addStretch(50);
    addLayout(m_buttons);
    // No fixed minimum: the layout's own keeps every row whole and grows the dialog when a row
    // grows (the check's note appearing).
    dialog->setBaseSize(300, 150);
}

void DeviceFormLayout::addField(const QString& label, QWidget* field)
{
    addLabelled(label, field, m_grid->rowCount());
}

void DeviceFormLayout::addLabelled(const QString& text, QWidget* field, int row)
{
    auto* label = new QLabel(text, field->parentWidget());
    label->setBuddy(field);
    m_grid->addWidget(label, row, 1);
    m_grid->addWidget(field, row, 2);
    // A screen reader hears a control's label only from a label beside it, in the same parent:
    // the first control of a field of several (its focus proxy) gets one of its own, never shown.
    QWidget* control = field->focusProxy();
    if (control && control->parentWidget() != label->parentWidget()) {
        auto* spoken = new QLabel(text, control->parentWidget());
        spoken->hide();
        spoken->setBuddy(control);
    }
}

void DeviceFormLayout::addEchoOptions(EchoOptionsField* field, const DeviceCheckField* check,
                                      const MoreChecksField* more)
{
    m_grid->addWidget(field, m_grid->rowCount(), 1, 1, 2);
    const auto follow = [field, check, more] {
        const std::optional<DeviceCheck> chosen = check->check();
        field->setForEcho(!chosen || chosen->kind == DeviceCheck::Echo || more->mayAskEcho());
    };
    QObject::connect(check, &DeviceCheckField::kindChanged, field, follow);
    QObject::connect(more, &QLineEdit::textChanged, field, follow);
    follow();
}

} // namespace Tarnwick
