#include "SettingsXmlHandler.h"

#include "Settings.h"
#include "XmlNumber.h"

namespace Tarnwick {

SettingsXmlHandler::SettingsXmlHandler(Settings& settings)
    : m_settings(settings)
{
}

bool SettingsXmlHandler::startElement(const QString& qName, const QXmlStreamAttributes& attributes)
{
    m_awaited = qName;
    if (qName == QLatin1String("Window")) {
        const int x = XmlNumber::toInt(attributes.value(QStringLiteral("X")));
        const int y = XmlNumber::toInt(attributes.value(QStringLiteral("Y")));
        const int w = XmlNumber::toInt(attributes.value(QStringLiteral("W")));
        const int h = XmlNumber::toInt(attributes.value(QStringLiteral("H")));
        m_settings.windowGeometry.setCoords(x, y, x + w - 1, y + h - 1);
        m_settings.windowMaximized = XmlNumber::toFlag(attributes.value(QStringLiteral("Maximized")));
    }
    return true;
}

bool SettingsXmlHandler::endElement(const QString&)
{
    m_awaited.clear();
    return true;
}

bool SettingsXmlHandler::characters(const QString& text)
{
    Settings& s = m_settings;
    const QString& name = m_awaited;
    if (name == QLatin1String("SIODSC"))
        s.siodsc = XmlNumber::toFlag(text);
    else if (name == QLatin1String("PSODSC"))
        s.playSounds = XmlNumber::toFlag(text);
    else if (name == QLatin1String("ChatStartServer"))
        s.chatStartServer = XmlNumber::toFlag(text);
    else if (name == QLatin1String("Port"))
        s.port = static_cast<quint16>(XmlNumber::toInt(text) & 0xFFFF);
    else if (name == QLatin1String("Skin"))
        s.skin = text;
    else if (name == QLatin1String("SkinType"))
        s.skinType = XmlNumber::toInt(text);
    else if (name == QLatin1String("PingTimeout"))
        s.pingTimeout = XmlNumber::toInt(text);
    else if (name == QLatin1String("PingTimeGap"))
        s.pingTimeGap = XmlNumber::toInt(text);
    else if (name == QLatin1String("LogStateChange"))
        s.logStateChange = XmlNumber::toFlag(text);
    m_awaited.clear();
    return true;
}

} // namespace Tarnwick
