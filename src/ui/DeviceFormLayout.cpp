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
    QGridLayout* grid = m_grid;
    const QStringList labels = {QStringLiteral("IP"), QStringLiteral("Type"), QStringLiteral("Description"),
                                QStringLiteral("Information on state change")};
    const QList<QWidget*> fields = {ipField, typeField, descriptionField, informField};
    for (int row = 0; row < 4; ++row) {
        grid->addWidget(new QLabel(labels[row], dialog), row + 1, 1);
        grid->addWidget(fields[row], row + 1, 2);
    }
    addLayout(grid);
    m_buttons->addStretch(50);
    addLayout(m_buttons);
    // No fixed minimum: the layout's own keeps every row whole and grows the dialog when a row
    // grows (the check's note appearing).
    dialog->setBaseSize(300, 150);
}

void DeviceFormLayout::addField(const QString& label, QWidget* field)
{
    const int row = m_grid->rowCount();
    m_grid->addWidget(new QLabel(label, field->parentWidget()), row, 1);
    m_grid->addWidget(field, row, 2);
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
