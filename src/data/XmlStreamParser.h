#pragma once

class QIODevice;

namespace Tarnwick {

class IXmlContentHandler;

// Drives a content handler from a QXmlStreamReader, in the manner of a SAX reader.
class XmlStreamParser
{
public:
    // True when the whole document was well-formed and the handler never asked to stop.
    static bool parse(QIODevice& device, IXmlContentHandler& handler);
};

} // namespace Tarnwick
