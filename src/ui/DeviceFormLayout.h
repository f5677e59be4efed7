// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QVBoxLayout>

class QGridLayout;
class QHBoxLayout;

namespace Tarnwick {

class DeviceCheckField;
class EchoOptionsField;
class MoreChecksField;

// The layout both device dialogs share: four labelled rows, then a button row at the right.
class DeviceFormLayout : public QVBoxLayout
{
    Q_DECLARE_TR_FUNCTIONS(DeviceFormLayout)

public:
    // Tells the user in a box over the dialog why what was typed is not taken.
    static void refuse(QWidget* dialog, const QString& why);

    DeviceFormLayout(QWidget* dialog, QWidget* ipField, QWidget* typeField, QWidget* descriptionField,
                     QWidget* informField);

    QHBoxLayout* buttonRow() const { return m_buttons; }
    // A further labelled row below the four.
    void addField(const QString& label, QWidget* field);
    // The "Advanced" fold below the rows, its echo fields on while the check chosen or one of
    // the further checks is an echo.
    void addEchoOptions(EchoOptionsField* field, const DeviceCheckField* check, const MoreChecksField* more);

private:
    // A row of the grid: the label, the buddy of the field, and the field.
    void addLabelled(const QString& text, QWidget* field, int row);

    QGridLayout* m_grid;
    QHBoxLayout* m_buttons;
};

} // namespace Tarnwick
