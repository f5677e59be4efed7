// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "alert/AlertDispatcher.h"
#include "api/ApiService.h"
#include "log/DataLogListener.h"
#include "monitor/AutoSaver.h"
#include "monitor/MonitorCore.h"

namespace Tarnwick {

struct CommandLine;
class NeighbourFinder;
class ProbeEngine;
class Settings;

// What the desktop and the server program both keep while the monitor runs: the core,
// published through the process's accessors, the log's lines about the devices, the alerts
// that leave the program and the autosave of whatever the program changes in its files.
class Monitoring
{
public:
    // The settings are read already; the device list and the map are read now. neighbours: how
    // the network watch finds IPv6 neighbours (none: it does not).
    Monitoring(const CommandLine& command, Settings& settings, ProbeEngine& engine,
               const NeighbourFinder* neighbours = nullptr);
    ~Monitoring();

    MonitorCore& core() { return m_core; }
    AlertDispatcher& alerts() { return m_alerts; }
    ApiService& api() { return m_api; }

    // Stops the monitor, lets the alerts under way go out and saves the files.
    void end();

    // Where the start-up, the core and the files say what the user should know: the log.
    static void reportToLog(const QString& text);

private:
    DataLogListener m_logListener;
    MonitorCore m_core;
    AlertDispatcher m_alerts;
    AutoSaver m_autoSaver;
    ApiService m_api;
    // Whether the API's address is the setting's, and so follows it, rather than --api's.
    bool m_apiFollowsSettings = false;
};

} // namespace Tarnwick
