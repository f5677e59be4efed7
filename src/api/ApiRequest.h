// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

namespace Tarnwick {

// One HTTP request to the API, read whole and let through by its token.
struct ApiRequest
{
    QByteArray method;
    // The path below the server, percent-decoded: "/api/v1/devices/fe80::1%eth0".
    QString path;
    QByteArray body;
};

} // namespace Tarnwick
