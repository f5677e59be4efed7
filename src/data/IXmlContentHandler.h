// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QXmlStreamAttributes>

namespace Tarnwick {

// Receives the events of one XML document, element by element. Each operation returns
// false to end the parse early.
class IXmlContentHandler
{
public:
    virtual ~IXmlContentHandler() = default;
    virtual bool startElement(const QString& qName, const QXmlStreamAttributes& attributes) = 0;
    virtual bool endElement(const QString& qName) = 0;
    // The whole text between two tags, however many pieces the reader delivered it in.
    virtual bool characters(const QString& text) = 0;
};

} // namespace Tarnwick
