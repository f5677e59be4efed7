// SPDX-License-Identifier: GPL-3.0-or-later
#include "SlowLimitBox.h"

namespace Tarnwick {

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

QString SlowLimitBox::useSettingsText()
{
    //: A device's limit left to the settings' own
    return tr("Use the settings");
}

QString SlowLimitBox::keepText()
{
    //: Several devices edited at once: each keeps the limit it has
    return tr("Each keeps its own");
}

QString SlowLimitBox::textFromValue(int value) const
{
    if (value == keep())
        return keepText();
    if (value == useSettings())
        return useSettingsText();
    return QSpinBox::textFromValue(value);
}

int SlowLimitBox::valueFromText(const QString& text) const
{
    if (text == keepText())
        return keep();
    if (text == useSettingsText() || text.isEmpty())
        return useSettings();
    return QSpinBox::valueFromText(text);
}

QValidator::State SlowLimitBox::validate(QString& text, int& pos) const
{
    // A box emptied by the user goes back to the settings.
    if (text.isEmpty())
        return QValidator::Acceptable;
    for (const QString& special : {useSettingsText(), keepText()}) {
        if (special == text && valueFromText(text) >= minimum())
            return QValidator::Acceptable;
        if (special.startsWith(text))
            return QValidator::Intermediate;
    }
    return QSpinBox::validate(text, pos);
}

} // namespace Tarnwick
