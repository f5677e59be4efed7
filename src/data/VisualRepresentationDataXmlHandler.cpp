// SPDX-License-Identifier: GPL-3.0-or-later
#include "VisualRepresentationDataXmlHandler.h"

#include "VisualRepresentationData.h"
#include "data/XmlNumber.h"

namespace Tarnwick {

VisualRepresentationDataXmlHandler::VisualRepresentationDataXmlHandler(VisualRepresentationData& data)
    : m_data(data)
{
}

bool VisualRepresentationDataXmlHandler::startElement(const QString& qName, const QXmlStreamAttributes& attributes)
{
    if (qName == QLatin1String("Device")) {
        m_data.appendItem({attributes.value(QStringLiteral("IP")).toString(),
                           XmlNumber::toInt(attributes.value(QStringLiteral("X"))),
                           XmlNumber::toInt(attributes.value(QStringLiteral("Y"))),
                           XmlNumber::toInt(attributes.value(QStringLiteral("LaidOut"))) == 1});
    } else if (qName == QLatin1String("Connection")) {
        m_data.appendConnection({attributes.value(QStringLiteral("IP1")).toString(),
                                 attributes.value(QStringLiteral("IP2")).toString(),
                                 XmlNumber::toInt(attributes.value(QStringLiteral("Type")))});
    }
    return true;
}

} // namespace Tarnwick
