// SPDX-License-Identifier: GPL-3.0-or-later
#include "SettingsValueText.h"

#include "XmlNumber.h"

#include <algorithm>
#include <limits>

namespace Tarnwick {

namespace {

struct AppearanceName
{
    Appearance value;
    const char* name;
};
const AppearanceName AppearanceNames[] = {
    {Appearance::FollowDesktop, "FollowDesktop"}, {Appearance::Light, "Light"}, {Appearance::Dark, "Dark"}};

// A number past what an int holds is taken as the nearest it holds, so that the setting's range
// then holds it to its most (or least), not to whatever an unreadable number reads as.
int saturated(QStringView text)
{
    bool ok = false;
    const qint64 wide = text.trimmed().toLongLong(&ok, 10);
    if (!ok)
        return XmlNumber::toInt(text);
    return int(std::clamp<qint64>(wide, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

} // namespace

void SettingsValueText::read(QStringView text, bool& value)
{
    value = XmlNumber::toFlag(text);
}

void SettingsValueText::read(QStringView text, int& value)
{
    value = saturated(text);
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
    value = saturated(text);
}

void SettingsValueText::read(QStringView text, Appearance& value)
{
    value = Appearance::FollowDesktop;
    for (const AppearanceName& known : AppearanceNames) {
        if (text.trimmed() == QLatin1String(known.name))
            value = known.value;
    }
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

QString SettingsValueText::write(Appearance value)
{
    for (const AppearanceName& known : AppearanceNames) {
        if (known.value == value)
            return QLatin1String(known.name);
    }
    return QLatin1String(AppearanceNames[0].name);
}

} // namespace Tarnwick
