// SPDX-License-Identifier: GPL-3.0-or-later
#include "XmlStreamParser.h"

#include "IXmlContentHandler.h"

#include <QXmlStreamReader>

#include <algorithm>

namespace Tarnwick {

namespace {

QXmlStreamAttributes cutAttributes(const QXmlStreamAttributes& attributes, bool& cut)
{
    const bool tooLong = std::any_of(attributes.begin(), attributes.end(), [](const QXmlStreamAttribute& a) {
        return a.value().size() > XmlStreamParser::MaxTextLength;
    });
    if (!tooLong)
        return attributes;
    QXmlStreamAttributes result;
    for (const QXmlStreamAttribute& attribute : attributes) {
        QStringView value = attribute.value();
        if (value.size() > XmlStreamParser::MaxTextLength) {
            value = value.left(XmlStreamParser::MaxTextLength);
            cut = true;
        }
        result.append(attribute.qualifiedName().toString(), value.toString());
    }
    return result;
}

} // namespace

XmlStreamParser::Result XmlStreamParser::parse(QIODevice& device, IXmlContentHandler& handler,
                                               const QString& expectedRoot)
{
    Result result;
    QXmlStreamReader reader(&device);
    // The reader splits text at entity and character references and at buffer boundaries;
    // handlers are given the element's text as one piece.
    QString pendingText;
    bool hasPendingText = false;
    auto flushText = [&]() {
        if (!hasPendingText)
            return true;
        hasPendingText = false;
        const QString text = pendingText;
        pendingText.clear();
        return handler.characters(text);
    };

    bool goOn = true;
    bool seenRoot = false;
    while (goOn && !reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            const QString name = reader.qualifiedName().toString();
            if (!seenRoot) {
                seenRoot = true;
                result.rootAsExpected = name == expectedRoot;
            }
            goOn = flushText() && handler.startElement(name, cutAttributes(reader.attributes(), result.textCut));
            break;
        }
        case QXmlStreamReader::EndElement:
            goOn = flushText() && handler.endElement(reader.qualifiedName().toString());
            break;
        case QXmlStreamReader::Characters: {
            // Anything past the bound is dropped, and the document counts as not read whole.
            const QStringView text = reader.text();
            const qsizetype room = MaxTextLength - pendingText.size();
            result.textCut = result.textCut || text.size() > room;
            pendingText += text.left(std::min(room, text.size()));
            hasPendingText = true;
            break;
        }
        case QXmlStreamReader::EndDocument:
            goOn = flushText();
            break;
        default:
            break;
        }
    }
    result.stoppedByHandler = !goOn;
    result.wellFormed = goOn && !reader.hasError();
    if (reader.hasError())
        result.error = QStringLiteral("%1 (line %2, column %3)")
                           .arg(reader.errorString())
                           .arg(reader.lineNumber())
                           .arg(reader.columnNumber());
    return result;
}

} // namespace Tarnwick
