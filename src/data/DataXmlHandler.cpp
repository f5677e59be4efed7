// SPDX-License-Identifier: GPL-3.0-or-later
#include "DataXmlHandler.h"

#include "Data.h"
#include "Settings.h"
#include "XmlNumber.h"

#include <algorithm>

namespace Tarnwick {

namespace {

const QString EntryElement = QStringLiteral("DeviceEntry");

// An attribute left out is a limit not set; one that is there is held to the settings' range.
std::optional<int> limitFrom(const QXmlStreamAttributes& attributes, const QString& name, int lowest, int highest)
{
    if (!attributes.hasAttribute(name))
        return std::nullopt;
    return std::clamp(XmlNumber::toInt(attributes.value(name)), lowest, highest);
}

} // namespace

DataXmlHandler::DataXmlHandler(Data& data, std::function<bool()> stopRequested)
    : m_data(data)
    , m_stopRequested(std::move(stopRequested))
{
}

bool DataXmlHandler::startElement(const QString& qName, const QXmlStreamAttributes& attributes)
{
    if (qName == EntryElement) {
        if (m_stopRequested && m_stopRequested())
            return false;
        m_current = DeviceEntry(attributes.value(QStringLiteral("IP")).toString(), QString(),
                                XmlNumber::toInt(attributes.value(QStringLiteral("Type"))),
                                XmlNumber::toFlag(attributes.value(QStringLiteral("IASC"))), NoReplyResult);
        // Text that reads as one of those keys is no address either: it would take another
        // entry's key.
        if (!m_current.hasAddress())
            m_current.ip = DeviceEntry::keyWithoutAddress(++m_withoutAddress);
        m_current.check = DeviceCheck::fromAttribute(attributes.value(QStringLiteral("Check")));
        m_current.slowLimits = {limitFrom(attributes, QStringLiteral("SlowAverageMs"), 0, Settings::MaxMilliseconds),
                                limitFrom(attributes, QStringLiteral("SlowLossPercent"), 0, 100),
                                limitFrom(attributes, QStringLiteral("SlowResults"), 1, Settings::MaxSlowResults)};
    }
    return true;
}

bool DataXmlHandler::endElement(const QString& qName)
{
    if (qName == EntryElement)
        m_data.addEntry(m_current);
    return true;
}

bool DataXmlHandler::characters(const QString& text)
{
    m_current.description = text;
    return true;
}

} // namespace Tarnwick
