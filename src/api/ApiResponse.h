// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>

#include <functional>

namespace Tarnwick {

// The API's answer to one request: a status and a JSON body, or a way to make the body that
// runs on the server's own thread (a long list is written there, not on the thread that
// gathered it).
struct ApiResponse
{
    int status = 200;
    QByteArray body;
    std::function<QByteArray()> render;

    static ApiResponse json(int status, const QJsonValue& value);
    // {"error": why}
    static ApiResponse error(int status, const QString& why);
    static ApiResponse noContent() { return {204, {}, {}}; }
};

} // namespace Tarnwick
