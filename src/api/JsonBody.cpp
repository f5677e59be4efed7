// SPDX-License-Identifier: GPL-3.0-or-later
#include "JsonBody.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>

namespace Tarnwick {

JsonBody::JsonBody(const QByteArray& body, const QStringList& knownFields)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError) {
        m_problem = QStringLiteral("Malformed JSON at byte %1: %2.").arg(error.offset).arg(error.errorString());
        return;
    }
    if (!document.isObject()) {
        m_problem = QStringLiteral("The body must be a JSON object.");
        return;
    }
    m_object = document.object();
    refuseUnknown(knownFields);
}

JsonBody::JsonBody(const QJsonObject& object, const QStringList& knownFields)
    : m_object(object)
{
    refuseUnknown(knownFields);
}

void JsonBody::refuseUnknown(const QStringList& knownFields)
{
    for (auto field = m_object.constBegin(); field != m_object.constEnd(); ++field) {
        if (!knownFields.contains(field.key())) {
            m_problem = QStringLiteral("Unknown field \"%1\"; the fields are %2.")
                            .arg(field.key(), knownFields.join(QStringLiteral(", ")));
            return;
        }
    }
}

void JsonBody::wrongKind(const QString& field, const char* kind)
{
    if (m_problem.isEmpty())
        m_problem = QStringLiteral("\"%1\" must be %2.").arg(field, QLatin1String(kind));
}

std::optional<QString> JsonBody::string(const QString& field)
{
    const QJsonValue value = m_object.value(field);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    if (!value.isString()) {
        wrongKind(field, "a string");
        return std::nullopt;
    }
    return value.toString();
}

std::optional<bool> JsonBody::boolean(const QString& field)
{
    const QJsonValue value = m_object.value(field);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    if (!value.isBool()) {
        wrongKind(field, "true or false");
        return std::nullopt;
    }
    return value.toBool();
}

std::optional<qint64> JsonBody::integer(const QString& field, qint64 lowest, qint64 highest)
{
    const QJsonValue value = m_object.value(field);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    const double number = value.toDouble(std::nan(""));
    if (!value.isDouble() || std::trunc(number) != number || number < double(lowest) || number > double(highest)) {
        if (m_problem.isEmpty())
            m_problem
                = QStringLiteral("\"%1\" must be a whole number from %2 to %3.").arg(field).arg(lowest).arg(highest);
        return std::nullopt;
    }
    return qint64(number);
}

std::optional<QStringList> JsonBody::strings(const QString& field)
{
    const QJsonValue value = m_object.value(field);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    QStringList texts;
    for (const QJsonValue& item : value.toArray()) {
        if (!item.isString())
            break;
        texts << item.toString();
    }
    if (!value.isArray() || texts.size() != value.toArray().size()) {
        wrongKind(field, "a list of strings");
        return std::nullopt;
    }
    return texts;
}

std::optional<JsonBody> JsonBody::object(const QString& field, const QStringList& knownFields)
{
    const QJsonValue value = m_object.value(field);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    if (!value.isObject()) {
        wrongKind(field, "an object");
        return std::nullopt;
    }
    JsonBody nested(value.toObject(), knownFields);
    if (!nested.problem().isEmpty() && m_problem.isEmpty())
        m_problem = QStringLiteral("In \"%1\": %2").arg(field, nested.problem());
    return nested;
}

} // namespace Tarnwick
