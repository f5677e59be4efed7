// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "IXmlContentHandler.h"

namespace Tarnwick {

class Settings;

// Reads "Settings.xml": the text of each known element, wherever it stands, sets the field of
// that name; the "Window" element carries the geometry in its attributes.
class SettingsXmlHandler : public IXmlContentHandler
{
public:
    explicit SettingsXmlHandler(Settings& settings);

    bool startElement(const QString& qName, const QXmlStreamAttributes& attributes) override;
    bool endElement(const QString& qName) override;
    bool characters(const QString& text) override;

private:
    Settings& m_settings;
    QString m_awaited;
};

} // namespace Tarnwick
