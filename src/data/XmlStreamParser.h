// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QIODevice;

namespace Tarnwick {

class IXmlContentHandler;

// Drives a content handler from a QXmlStreamReader, in the manner of a SAX reader.
class XmlStreamParser
{
public:
    // No text or attribute value reaches a handler longer than this; a longer one is cut, so
    // that a hostile file cannot make every later use of the text expensive.
    static constexpr qsizetype MaxTextLength = 4096;

    struct Result
    {
        bool wellFormed = false; // the whole document was read without error
        bool rootAsExpected = false;
        bool textCut = false; // some text was longer than MaxTextLength
        bool stoppedByHandler = false;
        QString error; // the reader's error text, where it failed

        // The document was read whole and nothing of it was lost on the way.
        bool complete() const { return wellFormed && rootAsExpected && !textCut && !stoppedByHandler; }
    };

    // Reads the document; expectedRoot is the name its root element must have.
    static Result parse(QIODevice& device, IXmlContentHandler& handler, const QString& expectedRoot);
};

} // namespace Tarnwick
