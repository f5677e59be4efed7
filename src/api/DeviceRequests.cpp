// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceRequests.h"

#include "DeviceJson.h"
#include "JsonBody.h"
#include "data/CheckList.h"
#include "data/Data.h"
#include "data/DeviceAddress.h"
#include "data/DeviceTypeName.h"
#include "data/XmlStreamParser.h"
#include "monitor/MonitorCore.h"

#include <QJsonObject>

namespace Tarnwick {

namespace {

const QStringList DeviceFieldNames = {QStringLiteral("address"),      QStringLiteral("description"),
                                      QStringLiteral("type"),         QStringLiteral("check"),
                                      QStringLiteral("alerts"),       QStringLiteral("payloadSize"),
                                      QStringLiteral("dontFragment"), QStringLiteral("moreChecks")};

// Whether the device list file can hold the text: no control characters (which the dialogs'
// one-line fields never take, and XML cannot carry), no halves of a character.
bool writable(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x20 || c == 0x7f || c == 0xfffe || c == 0xffff)
            return false;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text.at(i + 1).unicode()))
            ++i;
        else if (QChar::isSurrogate(c))
            return false;
    }
    return true;
}

// The fields a request gives, each checked as its dialog field checks it; the first refusal
// is kept with its status.
struct DeviceFields
{
    std::optional<QString> address;
    std::optional<QString> description;
    std::optional<int> type;
    std::optional<DeviceCheck> check;
    std::optional<bool> alerts;
    std::optional<qint64> payloadSize;
    std::optional<bool> dontFragment;
    // As CheckList reads them, once the first check and the address are known.
    std::optional<QString> moreChecks;
    QString problem;

    explicit DeviceFields(const QByteArray& body)
    {
        JsonBody json(body, DeviceFieldNames);
        address = json.string(QStringLiteral("address"));
        description = json.string(QStringLiteral("description"));
        const std::optional<QString> typeName = json.string(QStringLiteral("type"));
        const std::optional<QString> checkText = json.string(QStringLiteral("check"));
        alerts = json.boolean(QStringLiteral("alerts"));
        payloadSize = json.integer(QStringLiteral("payloadSize"), 0, EchoOptions::MaxPayloadSize);
        dontFragment = json.boolean(QStringLiteral("dontFragment"));
        const std::optional<QStringList> moreCheckTexts = json.strings(QStringLiteral("moreChecks"));
        problem = json.problem();
        if (!problem.isEmpty())
            return;
        if (address) {
            address = DeviceAddress::normalised(*address);
            problem = DeviceAddress::problem(*address);
        }
        if (description && problem.isEmpty() && !writable(*description))
            problem = QStringLiteral(
                "\"description\" may hold no control characters (a line of text, as in the dialogs).");
        // The device list reads no longer text back, as the dialogs take none.
        if (description && problem.isEmpty() && description->size() > XmlStreamParser::MaxTextLength)
            problem
                = QStringLiteral("\"description\" may hold at most %1 characters.").arg(XmlStreamParser::MaxTextLength);
        if (typeName && problem.isEmpty()) {
            type = DeviceTypeName::codeOf(*typeName);
            if (*type == 0)
                problem = QStringLiteral("Unknown type \"%1\": the types are PC, AP, Router and Web.").arg(*typeName);
        }
        if (checkText && problem.isEmpty()) {
            check = DeviceCheck::fromWord(*checkText);
            if (check->kind == DeviceCheck::Unreadable)
                problem = CheckList::unknownCheck(*checkText);
        }
        if (moreCheckTexts && problem.isEmpty()) {
            // Each item one check: "tcp:443 arp" is no check's name.
            for (const QString& text : *moreCheckTexts) {
                if (text.trimmed().isEmpty() || text.trimmed().contains(QLatin1Char(' ')))
                    problem = CheckList::unknownCheck(text);
            }
            moreChecks = moreCheckTexts->join(QLatin1Char(' '));
        }
    }

    // The echo options an entry that has own gets.
    EchoOptions echoFor(const EchoOptions& own) const
    {
        return {payloadSize ? std::uint16_t(*payloadSize) : own.payloadSize, dontFragment.value_or(own.dontFragment)};
    }
};

QString alreadyListed(const QString& address)
{
    return QStringLiteral("\"%1\" is in the device list already.").arg(address);
}

ApiResponse notListed(const QString& address)
{
    return ApiResponse::error(404, QStringLiteral("\"%1\" is not in the device list.").arg(address));
}

} // namespace

DeviceRequests::DeviceRequests(MonitorCore& core, const StateSince& since, Report report)
    : m_core(core)
    , m_since(since)
    , m_report(std::move(report))
{
}

ApiResponse DeviceRequests::handle(const QByteArray& method, const QString& address, bool probe, const QByteArray& body)
{
    if (probe)
        return method == "POST" ? probeNow(address) : ApiResponse::error(405, QStringLiteral("Use POST."));
    if (address.isEmpty()) {
        if (method == "GET")
            return list();
        if (method == "POST")
            return add(body);
        return ApiResponse::error(405, QStringLiteral("Use GET or POST."));
    }
    if (method == "GET")
        return one(address);
    if (method == "PATCH")
        return edit(address, body);
    if (method == "DELETE")
        return remove(address);
    return ApiResponse::error(405, QStringLiteral("Use GET, PATCH or DELETE."));
}

ApiResponse DeviceRequests::list() const
{
    // Gathered here, written on the server's thread: a list of thousands costs this thread
    // only the look-ups.
    QList<DeviceJson> devices = DeviceJson::ofAll(m_core, m_since);
    return {200, {}, [devices = std::move(devices)] { return DeviceJson::document(devices); }};
}

ApiResponse DeviceRequests::one(const QString& address) const
{
    Data& data = m_core.data();
    if (!data.contains(address))
        return notListed(address);
    return ApiResponse{
        200, DeviceJson::of(data.entry(address), m_core, m_since, QDateTime::currentMSecsSinceEpoch()).document(), {}};
}

ApiResponse DeviceRequests::add(const QByteArray& body)
{
    const DeviceFields fields(body);
    if (!fields.problem.isEmpty())
        return ApiResponse::error(400, fields.problem);
    if (!fields.address || fields.address->isEmpty())
        return ApiResponse::error(400, QStringLiteral("\"address\" is needed."));
    const QString address = *fields.address;
    DeviceEntry entry(address, fields.description.value_or(QString()), fields.type.value_or(DeviceTypePC),
                      fields.alerts.value_or(false), NoReplyResult);
    entry.check = fields.check.value_or(DeviceCheck{});
    entry.echo = fields.echoFor({});
    if (const QString why = entry.check.problemWith(DeviceAddress::probed(address)); !why.isEmpty())
        return ApiResponse::error(400, why);
    QString why;
    entry.moreChecks = CheckList::read(fields.moreChecks.value_or(QString()), entry.check,
                                       DeviceAddress::probed(address), &why);
    if (!why.isEmpty())
        return ApiResponse::error(400, why);
    Data& data = m_core.data();
    if (data.contains(address))
        return ApiResponse::error(409, alreadyListed(address));
    data.addEntry(entry);
    m_report(QStringLiteral("Device %1 added through the API").arg(address));
    m_core.pingNow(address);
    return ApiResponse{
        201, DeviceJson::of(data.entry(address), m_core, m_since, QDateTime::currentMSecsSinceEpoch()).document(), {}};
}

ApiResponse DeviceRequests::edit(const QString& address, const QByteArray& body)
{
    Data& data = m_core.data();
    if (!data.contains(address))
        return notListed(address);
    const DeviceFields fields(body);
    if (!fields.problem.isEmpty())
        return ApiResponse::error(400, fields.problem);
    // As in the edit dialog, a device keeps its address: its mute, its maintenance windows, its
    // place on the map and its history all go by it.
    if (fields.address && *fields.address != address)
        return ApiResponse::error(
            400, QStringLiteral("A device's address cannot be changed: remove it and add the new address."));
    const DeviceEntry before = data.entry(address);
    // Checks are looked at where the request gives them: an edit of another field keeps checks the
    // file holds as written, readable or not.
    const DeviceCheck check = fields.check.value_or(before.check);
    if (fields.check) {
        if (const QString why = check.problemWith(DeviceAddress::probed(address)); !why.isEmpty())
            return ApiResponse::error(400, why);
    }
    std::optional<QList<DeviceCheck>> moreChecks;
    if (fields.check || fields.moreChecks) {
        // The further checks kept are held to the first one given too.
        QString why;
        moreChecks = CheckList::read(fields.moreChecks.value_or(CheckList::text(before.moreChecks)), check,
                                     DeviceAddress::probed(address), &why);
        if (!why.isEmpty())
            return ApiResponse::error(400, why);
    }
    data.changeEntry(address, address, fields.alerts.value_or(before.informOnStateChange),
                     fields.description.value_or(before.description), fields.type.value_or(before.type), check,
                     std::nullopt, fields.echoFor(before.echo), moreChecks);
    if (!(data.entry(address) == before))
        m_report(QStringLiteral("Device %1 edited through the API").arg(address));
    return ApiResponse{
        200, DeviceJson::of(data.entry(address), m_core, m_since, QDateTime::currentMSecsSinceEpoch()).document(), {}};
}

ApiResponse DeviceRequests::remove(const QString& address)
{
    Data& data = m_core.data();
    if (!data.contains(address))
        return notListed(address);
    data.removeEntry(address);
    m_report(QStringLiteral("Device %1 removed through the API").arg(address));
    return ApiResponse::noContent();
}

ApiResponse DeviceRequests::probeNow(const QString& address)
{
    if (!m_core.data().contains(address))
        return notListed(address);
    if (!m_core.pinger())
        return ApiResponse::error(503, QStringLiteral("The monitor does not run now (a scan is under way)."));
    m_core.pingNow(address);
    return ApiResponse::json(202, QJsonObject{{QStringLiteral("address"), address}});
}

} // namespace Tarnwick
