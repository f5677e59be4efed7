// SPDX-License-Identifier: GPL-3.0-or-later
#include "MaintenanceRequests.h"

#include "DeviceJson.h"
#include "JsonBody.h"
#include "data/Data.h"
#include "data/MaintenanceList.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>

namespace Tarnwick {

namespace {

const QString TimeFormat = QStringLiteral("HH:mm");

QJsonObject windowJson(const MaintenanceWindow& window, const QDateTime& now)
{
    QJsonObject json{{QStringLiteral("id"), window.id},
                     {QStringLiteral("address"), window.ip.isEmpty() ? QJsonValue() : QJsonValue(window.ip)},
                     {QStringLiteral("text"), window.text()},
                     {QStringLiteral("active"), window.covers(now)}};
    if (window.repeat == MaintenanceWindow::Repeat::Once) {
        json.insert(QStringLiteral("from"), DeviceJson::time(window.from));
        json.insert(QStringLiteral("to"), DeviceJson::time(window.to));
        return json;
    }
    QJsonArray days;
    for (int day = 1; day <= 7; ++day) {
        if (window.days & (1 << (day - 1)))
            days.append(MaintenanceWindow::dayName(day));
    }
    json.insert(QStringLiteral("days"), days);
    json.insert(QStringLiteral("from"), window.start.toString(TimeFormat));
    json.insert(QStringLiteral("to"), window.end.toString(TimeFormat));
    return json;
}

} // namespace

MaintenanceRequests::MaintenanceRequests(MaintenanceList& maintenance, const Data& data)
    : m_maintenance(maintenance)
    , m_data(data)
{
}

ApiResponse MaintenanceRequests::handle(const QByteArray& method, const QString& id, const QByteArray& body)
{
    if (id.isEmpty()) {
        if (method == "GET")
            return list();
        if (method == "POST")
            return add(body);
        return ApiResponse::error(405, QStringLiteral("Use GET or POST."));
    }
    if (method != "DELETE")
        return ApiResponse::error(405, QStringLiteral("Use DELETE."));
    if (!m_maintenance.remove(id))
        return ApiResponse::error(404, QStringLiteral("No maintenance window \"%1\".").arg(id));
    return ApiResponse::noContent();
}

ApiResponse MaintenanceRequests::list() const
{
    const QDateTime now = QDateTime::currentDateTime();
    QJsonArray windows;
    for (const MaintenanceWindow& window : m_maintenance.windows())
        windows.append(windowJson(window, now));
    return ApiResponse::json(200, windows);
}

ApiResponse MaintenanceRequests::add(const QByteArray& body)
{
    JsonBody json(body,
                  {QStringLiteral("address"), QStringLiteral("from"), QStringLiteral("to"), QStringLiteral("days")});
    const std::optional<QString> address = json.string(QStringLiteral("address"));
    const std::optional<QString> from = json.string(QStringLiteral("from"));
    const std::optional<QString> to = json.string(QStringLiteral("to"));
    const std::optional<QStringList> days = json.strings(QStringLiteral("days"));
    if (!json.problem().isEmpty())
        return ApiResponse::error(400, json.problem());
    if (address && !m_data.contains(*address))
        return ApiResponse::error(404, QStringLiteral("\"%1\" is not in the device list.").arg(*address));
    MaintenanceWindow window;
    window.ip = address.value_or(QString());
    // Days make a weekly window, of local times of day; without them, a window from one time
    // to another.
    if (days) {
        window.repeat = MaintenanceWindow::Repeat::Weekly;
        for (const QString& name : *days) {
            const int day = MaintenanceWindow::dayOfWeek(name, Qt::CaseInsensitive);
            if (day == 0)
                return ApiResponse::error(400, QStringLiteral("\"%1\" is no day of the week.").arg(name));
            window.days |= 1 << (day - 1);
        }
        window.start = QTime::fromString(from.value_or(QString()), TimeFormat);
        window.end = QTime::fromString(to.value_or(QString()), TimeFormat);
        if ((from && !window.start.isValid()) || (to && !window.end.isValid()))
            return ApiResponse::error(400,
                                      QStringLiteral("A weekly window's \"from\" and \"to\" are times such as 02:00."));
    } else {
        window.from = QDateTime::fromString(from.value_or(QString()), Qt::ISODate);
        window.to = QDateTime::fromString(to.value_or(QString()), Qt::ISODate);
        if ((from && !window.from.isValid()) || (to && !window.to.isValid()))
            return ApiResponse::error(
                400, QStringLiteral("\"from\" and \"to\" are times such as 2026-12-09T21:00:00Z (or give \"days\")."));
    }
    const QDateTime now = QDateTime::currentDateTime();
    if (const QString why = window.problemAt(now); !why.isEmpty())
        return ApiResponse::error(400, why);
    const QString id = m_maintenance.add(window);
    if (id.isEmpty())
        return ApiResponse::error(400, QStringLiteral("The window could not be added."));
    window.id = id;
    // As kept: the list trims and cuts what it keeps to the minute.
    const QList<MaintenanceWindow> kept = m_maintenance.windows();
    const auto added = std::find_if(kept.cbegin(), kept.cend(),
                                    [&id](const MaintenanceWindow& each) { return each.id == id; });
    return ApiResponse::json(201, windowJson(added != kept.cend() ? *added : window, now));
}

} // namespace Tarnwick
