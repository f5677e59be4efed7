// SPDX-License-Identifier: GPL-3.0-or-later
#include "SlowLimitBox.h"

namespace Tarnwick {

namespace {

const QString UseSettingsText = QStringLiteral("Use the settings");
const QString KeepText = QStringLiteral("Each keeps its own");

} // namespace

SlowLimitBox::SlowLimitBox(int lowest, int highest, QWidget* parent)
    : QSpinBox(parent)
    , m_lowest(lowest)
{
    setRange(useSettings(), highest);
    setValue(useSettings());
}

void SlowLimitBox::setLimit(const std::optional<int>& limit)
{
    setValue(limit.value_or(useSettings()));
}

void SlowLimitBox::setKept()
{
    setMinimum(keep());
    setValue(keep());
}

bool SlowLimitBox::kept() const
{
    return value() == keep();
}

std::optional<int> SlowLimitBox::limit() const
{
    if (value() < m_lowest)
        return std::nullopt;
    return value();
}

QString SlowLimitBox::textFromValue(int value) const
{
    if (value == keep())
        return KeepText;
    if (value == useSettings())
        return UseSettingsText;
    return QSpinBox::textFromValue(value);
}

int SlowLimitBox::valueFromText(const QString& text) const
{
    if (text == KeepText)
        return keep();
    if (text == UseSettingsText || text.isEmpty())
        return useSettings();
    return QSpinBox::valueFromText(text);
}

QValidator::State SlowLimitBox::validate(QString& text, int& pos) const
{
    // A box emptied by the user goes back to the settings.
    if (text.isEmpty())
        return QValidator::Acceptable;
    for (const QString& special : {UseSettingsText, KeepText}) {
        if (special == text && valueFromText(text) >= minimum())
            return QValidator::Acceptable;
        if (special.startsWith(text))
            return QValidator::Intermediate;
    }
    return QSpinBox::validate(text, pos);
}

} // namespace Tarnwick
