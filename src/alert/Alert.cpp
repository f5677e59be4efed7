// SPDX-License-Identifier: GPL-3.0-or-later
#include "alert/Alert.h"

#include <QJsonArray>
#include <QUuid>

namespace Tarnwick {

namespace {

// The text with each control character (a line break, say) as a space: one line of a list
// stays one line, however a description was written.
QString inert(QString text)
{
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    }
    return text;
}

} // namespace

QString Alert::groupKeyOf(const QString& address, const QString& kind)
{
    return address + QLatin1Char('/') + kind;
}

QString Alert::newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QString Alert::isoTime() const
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QJsonObject Alert::toJson() const
{
    QJsonObject json{{QStringLiteral("title"), title},
                     {QStringLiteral("text"), text},
                     {QStringLiteral("address"), address},
                     {QStringLiteral("description"), description},
                     {QStringLiteral("state"), state},
                     {QStringLiteral("behind"), behind},
                     {QStringLiteral("time"), isoTime()},
                     {QStringLiteral("kind"), kind},
                     {QStringLiteral("id"), id}};
    if (!devices.isEmpty()) {
        QJsonArray each;
        for (const Device& device : devices)
            each.append(QJsonObject{{QStringLiteral("address"), device.address},
                                    {QStringLiteral("description"), device.description},
                                    {QStringLiteral("state"), device.state}});
        json.insert(QStringLiteral("devices"), each);
    }
    return json;
}

Alert Alert::fromJson(const QJsonObject& json)
{
    const auto text = [&](const char* name) { return json.value(QLatin1String(name)).toString(); };
    QList<Device> devices;
    for (const QJsonValue& each : json.value(QStringLiteral("devices")).toArray()) {
        const QJsonObject device = each.toObject();
        devices.append({device.value(QStringLiteral("address")).toString(),
                        device.value(QStringLiteral("description")).toString(),
                        device.value(QStringLiteral("state")).toString()});
    }
    QString kind = text("kind");
    if (kind.isEmpty())
        kind = text("state") == QLatin1String("connected") ? Kinds::Up : Kinds::Down;
    return {text("title"),
            text("text"),
            text("address"),
            text("description"),
            text("state"),
            text("behind"),
            QDateTime::fromString(text("time"), Qt::ISODateWithMs).toUTC(),
            QString(),
            devices,
            kind,
            text("id")};
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
    environment.insert(QStringLiteral("TARNWICK_KIND"), kind);
    environment.insert(QStringLiteral("TARNWICK_ID"), id);
    if (!devices.isEmpty()) {
        QStringList lines;
        for (const Device& device : devices)
            lines << QStringLiteral("%1 %2 %3")
                         .arg(inert(device.address), inert(device.state), inert(device.description))
                         .trimmed();
        environment.insert(QStringLiteral("TARNWICK_DEVICES"), lines.join(u'\n'));
    }
    return environment;
}

} // namespace Tarnwick
