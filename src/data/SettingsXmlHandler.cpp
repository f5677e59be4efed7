// SPDX-License-Identifier: GPL-3.0-or-later
#include "SettingsXmlHandler.h"

#include "Settings.h"
#include "SettingsValueText.h"
#include "XmlNumber.h"

#include <algorithm>
#include <type_traits>
#include <utility>

namespace Tarnwick {

SettingsXmlHandler::SettingsXmlHandler(Settings& settings)
    : m_settings(settings)
{
}

bool SettingsXmlHandler::startElement(const QString& qName, const QXmlStreamAttributes& attributes)
{
    m_awaited = qName;
    Settings::forEachStoredField([&](const auto& element) {
        if constexpr (isWindowElement<decltype(element)>) {
            if (qName != QLatin1String(element.name))
                return;
            // No screen is this large; numbers beyond it are saturated, so that the arithmetic
            // below and everyone who reads the rectangle stay within the integers.
            constexpr int Limit = 1 << 20;
            auto read = [&](const char* name, int low) {
                return std::clamp(XmlNumber::toInt(attributes.value(QLatin1String(name))), low, Limit);
            };
            const int x = read("X", -Limit);
            const int y = read("Y", -Limit);
            const int w = read("W", 0);
            const int h = read("H", 0);
            (m_settings.*element.geometry).setCoords(x, y, x + w - 1, y + h - 1);
            m_settings.*element.maximized = XmlNumber::toFlag(attributes.value(QStringLiteral("Maximized")));
        }
    });
    return true;
}

bool SettingsXmlHandler::endElement(const QString&)
{
    m_awaited.clear();
    return true;
}

bool SettingsXmlHandler::characters(const QString& text)
{
    // Only the first piece of text of an element counts.
    const QString name = std::exchange(m_awaited, QString());
    Settings::forEachStoredField([&](const auto& element) {
        if constexpr (!isWindowElement<decltype(element)>) {
            if (name != QLatin1String(element.name))
                return;
            SettingsValueText::read(text, m_settings.*element.field);
            element.keepInRange(m_settings);
        }
    });
    return true;
}

} // namespace Tarnwick
