// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ApiResponse.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace Tarnwick {

class MonitorCore;
class StateSince;

// The API's devices: listed with their state and last hour, read one by one, added, edited and
// removed through the store as the window's dialogs do (the same checks, the same words for
// what is refused), and probed at once. On the store's thread.
class DeviceRequests
{
public:
    using Report = std::function<void(const QString& text)>;

    DeviceRequests(MonitorCore& core, const StateSince& since, Report report);

    // address: the device's, from the path; empty for the collection. probe: ".../probe".
    ApiResponse handle(const QByteArray& method, const QString& address, bool probe, const QByteArray& body);

private:
    ApiResponse list() const;
    ApiResponse one(const QString& address) const;
    ApiResponse add(const QByteArray& body);
    ApiResponse edit(const QString& address, const QByteArray& body);
    ApiResponse remove(const QString& address);
    ApiResponse probeNow(const QString& address);

    MonitorCore& m_core;
    const StateSince& m_since;
    Report m_report;
};

} // namespace Tarnwick
