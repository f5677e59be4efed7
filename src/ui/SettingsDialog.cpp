#include "SettingsDialog.h"

#include "MillisecondsValidator.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace Tarnwick {

SettingsDialog::SettingsDialog(QWidget* parent)
    : QDialog(parent)
    , playSoundsCheckBox(new QCheckBox(this))
    , skinLineEdit(new QLineEdit(this))
    , pingTimeoutLineEdit(new QLineEdit(this))
    , pingTimeGapLineEdit(new QLineEdit(this))
    , logStateChangeCheckBox(new QCheckBox(this))
    , okButton(new QPushButton(QStringLiteral("OK"), this))
    , cancelButton(new QPushButton(QStringLiteral("Cancel"), this))
    , savedSettings(Settings::instance())
{
    setWindowTitle(QStringLiteral("Settings - Tarn Wick"));
    playSoundsCheckBox->setObjectName(QStringLiteral("playSoundsCheckBox"));
    skinLineEdit->setObjectName(QStringLiteral("skinLineEdit"));
    pingTimeoutLineEdit->setObjectName(QStringLiteral("pingTimeoutLineEdit"));
    pingTimeGapLineEdit->setObjectName(QStringLiteral("pingTimeGapLineEdit"));
    logStateChangeCheckBox->setObjectName(QStringLiteral("logStateChangeCheckBox"));
    okButton->setObjectName(QStringLiteral("okButton"));
    cancelButton->setObjectName(QStringLiteral("cancelButton"));

    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    const QStringList labels = {QStringLiteral("Play sounds"), QStringLiteral("Skin template"),
                                QStringLiteral("Ping timeout (ms)"), QStringLiteral("Ping time gap (ms)"),
                                QStringLiteral("Log device state change")};
    const QList<QWidget*> fields = {playSoundsCheckBox, skinLineEdit, pingTimeoutLineEdit, pingTimeGapLineEdit,
                                    logStateChangeCheckBox};
    for (int row = 0; row < 5; ++row) {
        grid->addWidget(new QLabel(labels[row], this), row + 1, 1);
        grid->addWidget(fields[row], row + 1, 2);
    }
    layout->addLayout(grid);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(50);
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    layout->addLayout(buttons);
    // No part of the program plays sounds; the flag is only shown.
    playSoundsCheckBox->setEnabled(false);
    skinLineEdit->setEnabled(true);

    playSoundsCheckBox->setCheckState(savedSettings.playSounds ? Qt::Checked : Qt::Unchecked);
    skinLineEdit->setText(savedSettings.skin);
    // Digits only, within bounds: "2s" is not a 2 ms time-out, nor -100 a gap of none.
    pingTimeoutLineEdit->setValidator(new MillisecondsValidator(pingTimeoutLineEdit));
    pingTimeGapLineEdit->setValidator(new MillisecondsValidator(pingTimeGapLineEdit));
    pingTimeoutLineEdit->setText(QString::number(savedSettings.pingTimeout.load()));
    pingTimeGapLineEdit->setText(QString::number(savedSettings.pingTimeGap.load()));
    logStateChangeCheckBox->setCheckState(savedSettings.logStateChange ? Qt::Checked : Qt::Unchecked);

    connect(cancelButton, &QPushButton::pressed, this, &SettingsDialog::CancelButtonClicked);
    connect(playSoundsCheckBox, &QCheckBox::stateChanged, this, &SettingsDialog::PlaySoundsCheckBoxStateChanged);
    connect(skinLineEdit, &QLineEdit::textChanged, this, &SettingsDialog::SkinLineEditTextChanged);
    connect(pingTimeoutLineEdit, &QLineEdit::textChanged, this, &SettingsDialog::PingTimeoutLineEditTextChanged);
    connect(pingTimeGapLineEdit, &QLineEdit::textChanged, this, &SettingsDialog::PingTimeGapLineEditTextChanged);
    connect(logStateChangeCheckBox, &QCheckBox::stateChanged, this,
            &SettingsDialog::LogStateChangeCheckBoxStateChanged);
    connect(okButton, &QPushButton::pressed, this, &QDialog::accept);

    setBaseSize(300, 150);
    setMinimumSize(300, 150);
}

void SettingsDialog::CancelButtonClicked()
{
    Settings::instance() = savedSettings;
    reject();
    close();
}

void SettingsDialog::PlaySoundsCheckBoxStateChanged(int nState)
{
    Settings::instance().playSounds = nState == Qt::Checked;
}

void SettingsDialog::SkinLineEditTextChanged(const QString& sText)
{
    Settings::instance().skin = sText;
}

void SettingsDialog::updateNumber(QLineEdit* field, CopyableAtomic<int>& setting, const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || value < 0 || value > MillisecondsValidator::Maximum)
        return;
    setting = value;
    // "0250" shows as 250; the change runs this once more and then finds nothing to do.
    const QString normalised = QString::number(value);
    if (field->text() != normalised)
        field->setText(normalised);
}

void SettingsDialog::PingTimeoutLineEditTextChanged(const QString& sText)
{
    updateNumber(pingTimeoutLineEdit, Settings::instance().pingTimeout, sText);
}

void SettingsDialog::PingTimeGapLineEditTextChanged(const QString& sText)
{
    updateNumber(pingTimeGapLineEdit, Settings::instance().pingTimeGap, sText);
}

void SettingsDialog::LogStateChangeCheckBoxStateChanged(int nState)
{
    Settings::instance().logStateChange = nState == Qt::Checked;
}

} // namespace Tarnwick
