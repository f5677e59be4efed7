#include "XmlStreamParser.h"

#include "IXmlContentHandler.h"

#include <QXmlStreamReader>

namespace Tarnwick {

bool XmlStreamParser::parse(QIODevice& device, IXmlContentHandler& handler)
{
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
    while (goOn && !reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            goOn = flushText() && handler.startElement(reader.qualifiedName().toString(), reader.attributes());
            break;
        case QXmlStreamReader::EndElement:
            goOn = flushText() && handler.endElement(reader.qualifiedName().toString());
            break;
        case QXmlStreamReader::Characters:
            pendingText += reader.text();
            hasPendingText = true;
            break;
        case QXmlStreamReader::EndDocument:
            goOn = flushText();
            break;
        default:
            break;
        }
    }
    return goOn && !reader.hasError();
}

} // namespace Tarnwick
