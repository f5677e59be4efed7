// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace Tarnwick {

// A request's JSON object, read defensively: malformed JSON, anything but an object and a
// field the request does not know are refused (the first problem is kept, in words for the
// client), as is a field of the wrong kind when asked for.
class JsonBody
{
public:
    JsonBody(const QByteArray& body, const QStringList& knownFields);

    // Why the body cannot be taken; empty when it can.
    QString problem() const { return m_problem; }
    bool has(const QString& field) const { return m_object.contains(field); }
    // Each: the field's value, or none when it is absent, null, or not of its kind (which
    // is then the problem).
    std::optional<QString> string(const QString& field);
    std::optional<bool> boolean(const QString& field);
    std::optional<qint64> integer(const QString& field, qint64 lowest, qint64 highest);
    std::optional<QStringList> strings(const QString& field);
    // A nested object, read with the same rules.
    std::optional<JsonBody> object(const QString& field, const QStringList& knownFields);

private:
    JsonBody(const QJsonObject& object, const QStringList& knownFields);
    void refuseUnknown(const QStringList& knownFields);
    void wrongKind(const QString& field, const char* kind);

    QJsonObject m_object;
    QString m_problem;
};

} // namespace Tarnwick
