// SPDX-License-Identifier: GPL-3.0-or-later
#include "MuteRequests.h"

#include "DeviceJson.h"
#include "JsonBody.h"
#include "data/Data.h"
#include "data/MuteList.h"

#include <QJsonArray>

namespace Tarnwick {

namespace {

constexpr qint64 MinutesInAYear = 366LL * 24 * 60;

QJsonObject muteJson(const QString& address, const QDateTime& until)
{
    const QJsonValue null(QJsonValue::Null);
    return {{QStringLiteral("address"), address.isEmpty() ? null : QJsonValue(address)},
            {QStringLiteral("until"), until.isValid() ? QJsonValue(DeviceJson::time(until)) : null}};
}

} // namespace

MuteRequests::MuteRequests(MuteList& mutes, const Data& data)
    : m_mutes(mutes)
    , m_data(data)
{
}

ApiResponse MuteRequests::handle(const QByteArray& method, const QString& address, const QByteArray& body)
{
    if (address.isEmpty() && method == "GET")
        return list();
    if (address.isEmpty() && method == "POST")
        return mute(body);
    if (method != "DELETE")
        return ApiResponse::error(
            405, address.isEmpty() ? QStringLiteral("Use GET, POST or DELETE.") : QStringLiteral("Use DELETE."));
    if (address.isEmpty() ? !m_mutes.allMutedUntil() : !m_mutes.mutedUntil(address))
        return ApiResponse::error(404,
                                  address.isEmpty() ? QStringLiteral("All devices are not muted.")
                                                    : QStringLiteral("\"%1\" is not muted.").arg(address));
    if (address.isEmpty())
        m_mutes.unmuteAll();
    else
        m_mutes.unmute(address);
    return ApiResponse::noContent();
}

ApiResponse MuteRequests::list() const
{
    QJsonArray mutes;
    if (const std::optional<QDateTime> all = m_mutes.allMutedUntil())
        mutes.append(muteJson({}, *all));
    for (const DeviceEntry& entry : m_data.entries()) {
        if (const std::optional<QDateTime> until = m_mutes.mutedUntil(entry.ip))
            mutes.append(muteJson(entry.ip, *until));
    }
    return ApiResponse::json(200, mutes);
}

ApiResponse MuteRequests::mute(const QByteArray& body)
{
    JsonBody json(body, {QStringLiteral("address"), QStringLiteral("minutes"), QStringLiteral("until")});
    const std::optional<QString> address = json.string(QStringLiteral("address"));
    const std::optional<qint64> minutes = json.integer(QStringLiteral("minutes"), 1, MinutesInAYear);
    const std::optional<QString> untilText = json.string(QStringLiteral("until"));
    if (!json.problem().isEmpty())
        return ApiResponse::error(400, json.problem());
    if (minutes && untilText)
        return ApiResponse::error(400, QStringLiteral("Give \"minutes\" or \"until\", not both."));
    if (address && !m_data.contains(*address))
        return ApiResponse::error(404, QStringLiteral("\"%1\" is not in the device list.").arg(*address));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    // Neither: until lifted, as the menu's "Until unmuted".
    QDateTime until;
    if (minutes)
        until = now.addSecs(*minutes * 60);
    if (untilText) {
        until = QDateTime::fromString(*untilText, Qt::ISODate);
        if (!until.isValid())
            return ApiResponse::error(400, QStringLiteral("\"until\" must be a time such as 2026-12-09T21:00:00Z."));
        if (until <= now)
            return ApiResponse::error(400, QStringLiteral("\"until\" has passed."));
    }
    if (address)
        m_mutes.mute(*address, until);
    else
        m_mutes.muteAll(until);
    return ApiResponse::json(201, muteJson(address.value_or(QString()), until));
}

} // namespace Tarnwick
