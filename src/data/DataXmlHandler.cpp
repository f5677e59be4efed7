// SPDX-License-Identifier: GPL-3.0-or-later
#include "DataXmlHandler.h"

#include "Data.h"
#include "DeviceAddress.h"
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

// The echo's payload size: absent is the default; text that is no number, or a number out of
// range, is taken as the default or held to the range, and said why.
std::uint16_t payloadSizeFrom(const QXmlStreamAttributes& attributes, QString* problem)
{
    const QString name = QStringLiteral("PayloadSize");
    if (!attributes.hasAttribute(name))
        return EchoOptions::DefaultPayloadSize;
    const QStringView text = attributes.value(name);
    bool ok = false;
    const qint64 bytes = text.trimmed().toLongLong(&ok, 10);
    if (!ok) {
        *problem = QStringLiteral("the payload size \"%1\" cannot be read; its echo requests carry %2 bytes")
                       .arg(text.toString())
                       .arg(EchoOptions::DefaultPayloadSize);
        return EchoOptions::DefaultPayloadSize;
    }
    const auto held = std::uint16_t(std::clamp<qint64>(bytes, 0, EchoOptions::MaxPayloadSize));
    if (held != bytes)
        *problem = QStringLiteral("the payload size %1 is out of range; its echo requests carry %2 bytes")
                       .arg(bytes)
                       .arg(held);
    return held;
}

// The checks beside the first, in the order written: each word read as DeviceCheck::fromWord
// reads it, a word that reads as no check kept as written. A check given twice, or past the
// most a device takes, is left out, and said why.
QList<DeviceCheck> moreChecksFrom(const QXmlStreamAttributes& attributes, const DeviceCheck& first, QString* problem)
{
    QList<DeviceCheck> more;
    QStringList left;
    QStringList beyond;
    QStringList unread;
    const QStringList words
        = attributes.value(QStringLiteral("MoreChecks")).toString().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& word : words) {
        const DeviceCheck check = DeviceCheck::fromWord(word);
        if (check == first || more.contains(check)) {
            left.append(QStringLiteral("\"%1\" (given twice)").arg(word));
        } else if (more.size() + 1 >= DeviceEntry::MaxChecks) {
            beyond.append(QStringLiteral("\"%1\"").arg(word));
        } else {
            more.append(check);
            if (check.kind == DeviceCheck::Unreadable)
                unread.append(QStringLiteral("\"%1\"").arg(word));
        }
    }
    // Those past the most are named once together, however many there are.
    if (!beyond.isEmpty()) {
        constexpr int Named = 3;
        QString past = beyond.mid(0, Named).join(QStringLiteral(", "));
        if (beyond.size() > Named)
            past += QStringLiteral(" and %1 more").arg(beyond.size() - Named);
        left.append(QStringLiteral("%1 (a device takes at most %2 checks)").arg(past).arg(DeviceEntry::MaxChecks));
    }
    QStringList problems;
    if (!unread.isEmpty())
        problems.append(QStringLiteral("its further check %1 cannot be read; its probes fail for that reason until "
                                       "a check is chosen, and the file keeps the text as written")
                            .arg(unread.join(QStringLiteral(", "))));
    if (!left.isEmpty())
        problems.append(
            QStringLiteral("its further checks leave out %1, and the list is saved so when it is next saved")
                .arg(left.join(QStringLiteral(", "))));
    *problem = problems.join(QStringLiteral("; "));
    return more;
}

} // namespace

DataXmlHandler::DataXmlHandler(Data& data, std::function<bool()> stopRequested, DocumentFile::Reporter report)
    : m_data(data)
    , m_stopRequested(std::move(stopRequested))
    , m_report(std::move(report))
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
        m_checksProblem.clear();
        m_current.moreChecks = moreChecksFrom(attributes, m_current.check, &m_checksProblem);
        m_current.slowLimits = {limitFrom(attributes, QStringLiteral("SlowAverageMs"), 0, Settings::MaxMilliseconds),
                                limitFrom(attributes, QStringLiteral("SlowLossPercent"), 0, 100),
                                limitFrom(attributes, QStringLiteral("SlowResults"), 1, Settings::MaxSlowResults)};
        m_echoProblem.clear();
        m_current.echo = {payloadSizeFrom(attributes, &m_echoProblem),
                          XmlNumber::toFlag(attributes.value(QStringLiteral("DontFragment")))};
    }
    return true;
}

bool DataXmlHandler::endElement(const QString& qName)
{
    if (qName != EntryElement)
        return true;
    if (m_report) {
        const QString& ip = m_current.ip;
        if (m_data.contains(ip))
            m_report(QStringLiteral("The device list names %1 more than once: its first entry is kept and a later "
                                    "one left out.")
                         .arg(ip));
        else if (m_current.check.kind == DeviceCheck::Unreadable)
            m_report(QStringLiteral("The device list's entry for %1: %2; its probes fail for that reason until "
                                    "a check is chosen, and the file keeps the text as written.")
                         .arg(ip, m_current.check.text()));
        else if (const QString problem = m_current.hasAddress() ? DeviceAddress::problem(ip) : QString();
                 !problem.isEmpty())
            m_report(QStringLiteral("The device list's entry %1 is kept, and its probes fail: %2").arg(ip, problem));
        else if (!m_echoProblem.isEmpty())
            m_report(
                QStringLiteral("The device list's entry for %1: %2, and the list is saved so when it is next saved.")
                    .arg(ip, m_echoProblem));
        if (!m_data.contains(ip) && !m_checksProblem.isEmpty())
            m_report(QStringLiteral("The device list's entry for %1: %2.").arg(ip, m_checksProblem));
    }
    m_data.addEntry(m_current);
    return true;
}

bool DataXmlHandler::characters(const QString& text)
{
    m_current.description = text;
    return true;
}

} // namespace Tarnwick
