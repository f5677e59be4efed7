// SPDX-License-Identifier: GPL-3.0-or-later
#include "alert/Alert.h"

namespace Tarnwick {

QString Alert::isoTime() const
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QJsonObject Alert::toJson() const
{
    return {{QStringLiteral("title"), title},     {QStringLiteral("text"), text},
            {QStringLiteral("address"), address}, {QStringLiteral("description"), description},
            {QStringLiteral("state"), state},     {QStringLiteral("behind"), behind},
            {QStringLiteral("time"), isoTime()}};
}

Alert Alert::fromJson(const QJsonObject& json)
{
    const auto text = [&](const char* name) { return json.value(QLatin1String(name)).toString(); };
    return {text("title"),
            text("text"),
            text("address"),
            text("description"),
            text("state"),
            text("behind"),
            QDateTime::fromString(text("time"), Qt::ISODateWithMs).toUTC(),
            QString()};
}

QProcessEnvironment Alert::addTo(QProcessEnvironment environment) const
{
    environment.insert(QStringLiteral("TARNWICK_TITLE"), title);
    environment.insert(QStringLiteral("TARNWICK_TEXT"), text);
    environment.insert(QStringLiteral("TARNWICK_ADDRESS"), address);
    environment.insert(QStringLiteral("TARNWICK_DESCRIPTION"), description);
    environment.insert(QStringLiteral("TARNWICK_STATE"), state);
    environment.insert(QStringLiteral("TARNWICK_BEHIND"), behind);
    environment.insert(QStringLiteral("TARNWICK_TIME"), isoTime());
    return environment;
}

} // namespace Tarnwick
