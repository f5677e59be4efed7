// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/IXmlContentHandler.h"

namespace Tarnwick {

class VisualRepresentationData;

// Reads "VisualRepresentation.xml": every "Device" and "Connection" element, wherever it
// stands, is appended to the map in document order.
class VisualRepresentationDataXmlHandler : public IXmlContentHandler
{
public:
    explicit VisualRepresentationDataXmlHandler(VisualRepresentationData& data);

    bool startElement(const QString& qName, const QXmlStreamAttributes& attributes) override;
    bool endElement(const QString&) override { return true; }
    bool characters(const QString&) override { return true; }

private:
    VisualRepresentationData& m_data;
};

} // namespace Tarnwick
