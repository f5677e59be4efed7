// SPDX-License-Identifier: GPL-3.0-or-later
#include "SettingsValueText.h"

#include "XmlNumber.h"

namespace Tarnwick {

void SettingsValueText::read(QStringView text, bool& value)
{
    value = XmlNumber::toFlag(text);
}

void SettingsValueText::read(QStringView text, int& value)
{
    value = XmlNumber::toInt(text);
}

void SettingsValueText::read(QStringView text, quint16& value)
{
    value = static_cast<quint16>(XmlNumber::toInt(text) & 0xFFFF);
}

void SettingsValueText::read(QStringView text, QString& value)
{
    value = text.toString();
}

void SettingsValueText::read(QStringView text, CopyableAtomic<int>& value)
{
    value = XmlNumber::toInt(text);
}

QString SettingsValueText::write(bool value)
{
    return QString::number(value ? 1 : 0);
}

QString SettingsValueText::write(int value)
{
    return QString::number(value);
}

QString SettingsValueText::write(quint16 value)
{
    return QString::number(value);
}

QString SettingsValueText::write(const QString& value)
{
    return value;
}

QString SettingsValueText::write(const CopyableAtomic<int>& value)
{
    return QString::number(value.load());
}

} // namespace Tarnwick
