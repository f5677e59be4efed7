#include "Settings.h"

#include "SettingsValueText.h"
#include "SettingsXmlHandler.h"

#include <QXmlStreamWriter>

#include <type_traits>

namespace Tarnwick {

Settings& Settings::instance()
{
    static Settings settings;
    return settings;
}

void Settings::setDefaults()
{
    forEachStoredField([this](const auto& element) {
        if constexpr (std::is_same_v<std::decay_t<decltype(element)>, SettingsWindowElement>) {
            this->*element.geometry = element.defaultGeometry;
            this->*element.maximized = false;
        } else {
            this->*element.field = element.defaultValue;
        }
    });
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
        writer.writeStartElement(QStringLiteral("Settings"));
        forEachStoredField([this, &writer](const auto& element) {
            const QString name = QString::fromLatin1(element.name);
            if constexpr (std::is_same_v<std::decay_t<decltype(element)>, SettingsWindowElement>) {
                const QRect& geometry = this->*element.geometry;
                writer.writeStartElement(name);
                writer.writeAttribute(QStringLiteral("X"), QString::number(geometry.left()));
                writer.writeAttribute(QStringLiteral("Y"), QString::number(geometry.top()));
                writer.writeAttribute(QStringLiteral("W"), QString::number(geometry.width()));
                writer.writeAttribute(QStringLiteral("H"), QString::number(geometry.height()));
                writer.writeAttribute(QStringLiteral("Maximized"), SettingsValueText::write(this->*element.maximized));
                writer.writeEndElement();
            } else {
                writer.writeTextElement(name, SettingsValueText::write(this->*element.field));
            }
        });
        writer.writeEndElement();
    });
}

} // namespace Tarnwick
