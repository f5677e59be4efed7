#include "Settings.h"

#include "SettingsXmlHandler.h"

#include <QXmlStreamWriter>

namespace Tarnwick {

Settings::Settings() = default;

Settings::Settings(const Settings& other)
{
    *this = other;
}

Settings& Settings::operator=(const Settings& other)
{
    fileName = other.fileName;
    siodsc = other.siodsc;
    playSounds = other.playSounds;
    chatStartServer = other.chatStartServer;
    port = other.port;
    windowGeometry = other.windowGeometry;
    windowMaximized = other.windowMaximized;
    skin = other.skin;
    skinType = other.skinType;
    pingTimeout = other.pingTimeout.load();
    pingTimeGap = other.pingTimeGap.load();
    logStateChange = other.logStateChange;
    m_file = other.m_file;
    return *this;
}

Settings& Settings::instance()
{
    static Settings settings;
    return settings;
}

void Settings::setDefaults()
{
    siodsc = false;
    playSounds = false;
    chatStartServer = false;
    port = 0;
    pingTimeout = 1000;
    pingTimeGap = 500;
    skinType = 1;
    skin = QStringLiteral("Default");
    windowGeometry = QRect(0, 0, 600, 500);
    windowMaximized = false;
    logStateChange = true;
}

bool Settings::load(const QString& name)
{
    setDefaults();
    fileName = name;
    m_file = DocumentFile(name);
    SettingsXmlHandler handler(*this);
    return m_file.read(handler);
}

bool Settings::save()
{
    // A dialog's "Cancel" may have put back a copy; the file to write is the one named here.
    if (m_file.fileName() != fileName)
        m_file = DocumentFile(fileName);
    return m_file.write([this](QXmlStreamWriter& writer) {
        auto flag = [](bool value) { return QString::number(value ? 1 : 0); };
        writer.writeStartElement(QStringLiteral("Settings"));
        writer.writeTextElement(QStringLiteral("SIODSC"), flag(siodsc));
        writer.writeTextElement(QStringLiteral("PSODSC"), flag(playSounds));
        writer.writeTextElement(QStringLiteral("ChatStartServer"), flag(chatStartServer));
        writer.writeTextElement(QStringLiteral("Port"), QString::number(port));
        writer.writeTextElement(QStringLiteral("Skin"), skin);
        writer.writeTextElement(QStringLiteral("SkinType"), QString::number(skinType));
        writer.writeTextElement(QStringLiteral("PingTimeout"), QString::number(pingTimeout.load()));
        writer.writeTextElement(QStringLiteral("PingTimeGap"), QString::number(pingTimeGap.load()));
        writer.writeTextElement(QStringLiteral("LogStateChange"), flag(logStateChange));
        writer.writeStartElement(QStringLiteral("Window"));
        writer.writeAttribute(QStringLiteral("X"), QString::number(windowGeometry.left()));
        writer.writeAttribute(QStringLiteral("Y"), QString::number(windowGeometry.top()));
        writer.writeAttribute(QStringLiteral("W"), QString::number(windowGeometry.width()));
        writer.writeAttribute(QStringLiteral("H"), QString::number(windowGeometry.height()));
        writer.writeAttribute(QStringLiteral("Maximized"), flag(windowMaximized));
        writer.writeEndElement();
        writer.writeEndElement();
    });
}

} // namespace Tarnwick
