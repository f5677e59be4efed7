// SPDX-License-Identifier: GPL-3.0-or-later
#include "ApiResponse.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace Tarnwick {

ApiResponse ApiResponse::json(int status, const QJsonValue& value)
{
    const QJsonDocument document = value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    return {status, document.toJson(QJsonDocument::Compact) + '\n', {}};
}

ApiResponse ApiResponse::error(int status, const QString& why)
{
    return json(status, QJsonObject{{QStringLiteral("error"), why}});
}

} // namespace Tarnwick
