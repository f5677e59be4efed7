// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ApiRequest.h"
#include "ApiResponse.h"
#include "DeviceRequests.h"
#include "MaintenanceRequests.h"
#include "MuteRequests.h"
#include "StateSince.h"
#include "metrics/MetricsAddress.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace Tarnwick {

class ApiServer;
class MonitorCore;

// The HTTP API of a running monitor: what it answers at /api/v1/, and the server that serves
// it where the user asked. Lives on the store's thread, and answers there.
class ApiService : public QObject
{
    Q_OBJECT

public:
    using Report = std::function<void(const QString& text)>;

    // tokenFile: where the token is kept ("ApiToken" beside the device list).
    ApiService(MonitorCore& core, QString tokenFile, Report report, QObject* parent = nullptr);
    ~ApiService() override;

    // Serves the API at the address (the metrics address's forms; empty: not at all), and says
    // where in the report, or why not.
    void serve(const QString& address);
    void serveAt(const MetricsAddress& address);
    // Serves no more, without a word (the program ends).
    void stop();
    // The port served; 0 when none.
    int port() const;

    ApiResponse answer(const ApiRequest& request);

private:
    MonitorCore& m_core;
    QString m_tokenFile;
    Report m_report;
    StateSince m_since;
    DeviceRequests m_devices;
    MuteRequests m_mutes;
    MaintenanceRequests m_maintenance;
    std::unique_ptr<ApiServer> m_server;
};

} // namespace Tarnwick
