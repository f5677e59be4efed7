// SPDX-License-Identifier: GPL-3.0-or-later
#include "Monitoring.h"

#include "CommandLine.h"
#include "ProcessSignalWatcher.h"
#include "ProcessValues.h"
#include "api/ApiToken.h"
#include "data/Data.h"
#include "data/MaintenanceList.h"
#include "data/MuteList.h"
#include "data/Settings.h"
#include "data/VisualRepresentationData.h"
#include "log/LogManager.h"
#include "net/ProbeEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstring>

namespace Tarnwick {

namespace {

// Without any ICMP socket every device would read disconnected; say why and how to mend it.
QString icmpPermissionHint()
{
    return QStringLiteral("ICMP echo requests cannot be sent, so every device will show as disconnected. "
                          "Allow them with \"sudo setcap cap_net_raw+ep %1\", "
                          "or for every user with \"sudo sysctl -w net.ipv4.ping_group_range='0 2147483647'\".")
        .arg(QCoreApplication::applicationFilePath());
}

MonitorCore::Options coreOptions(const CommandLine& command, const Settings& settings, const ProbeEngine& engine,
                                 const NeighbourFinder* neighbours)
{
    if (!engine.hasSocket())
        Monitoring::reportToLog(icmpPermissionHint());
    // The monitor and discovery ask hosts on the local link by ARP where they may.
    else if (!engine.asksByArp())
        Monitoring::reportToLog(
            QStringLiteral("Hosts on the local link are asked by echo alone: no packet socket for ARP (%1).")
                .arg(QString::fromLocal8Bit(std::strerror(engine.arpSocketError()))));
    MonitorCore::Options options;
    // Where the metrics go: the command line's choice for this run, else the setting.
    options.metricsAddress = command.metricsGiven ? command.metrics : settings.metricsAddress;
    options.metricsFollowSettings = !command.metricsGiven;
    options.version = appVersion;
    options.report = &Monitoring::reportToLog;
    // A SIGTERM while a long list is read ends the program without waiting for the rest of it.
    options.stopLoading = &ProcessSignalWatcher::terminationPending;
    options.neighbours = neighbours;
    return options;
}

void logAlerts(const QString& text)
{
    LogManager::instance().log("Alerts", text.toStdString());
}

} // namespace

void Monitoring::reportToLog(const QString& text)
{
    LogManager::instance().log("Application", text.toStdString());
}

Monitoring::Monitoring(const CommandLine& command, Settings& settings, ProbeEngine& engine,
                       const NeighbourFinder* neighbours)
    : m_core(settings, engine, coreOptions(command, settings, engine, neighbours))
    , m_alerts(settings, QStringLiteral("Outbox.sqlite"), logAlerts)
    , m_autoSaver(m_core.data(), settings, m_core.map())
    , m_api(m_core,
            QFileInfo(m_core.deviceListFile()).absoluteDir().filePath(QString::fromLatin1(ApiToken::DefaultFileName)),
            &Monitoring::reportToLog)
    , m_apiFollowsSettings(!command.apiGiven)
{
    // Connected only after loading, so that the entries read from the file are not logged.
    m_core.data().connectReceiver(&m_logListener);
    QObject::connect(&m_core.announcer(), &Announcer::announced, &m_logListener, &DataLogListener::announced);
    QObject::connect(&m_core.mutes(), &MuteList::muted, &m_logListener, &DataLogListener::muted);
    QObject::connect(&m_core.mutes(), &MuteList::unmuted, &m_logListener, &DataLogListener::unmuted);
    QObject::connect(&m_core.maintenance(), &MaintenanceList::windowAdded, &m_logListener,
                     &DataLogListener::maintenanceAdded);
    QObject::connect(&m_core.maintenance(), &MaintenanceList::windowRemoved, &m_logListener,
                     &DataLogListener::maintenanceRemoved);
    QObject::connect(&m_core.announcer(), &Announcer::announced, &m_alerts, &AlertDispatcher::announced);
    Data::setInstance(&m_core.data());
    VisualRepresentationData::setInstance(&m_core.map());
    m_api.serve(command.apiGiven ? command.api : settings.apiAddress);
    // A changed setting (the file read again) moves the API, unless --api chose its address.
    settings.onChange(&Settings::apiAddress, &m_api, [this, &settings] {
        if (m_apiFollowsSettings)
            m_api.serve(settings.apiAddress);
        else
            reportToLog(QStringLiteral("The API stays where --api put it for this run; ApiAddress takes effect at a "
                                       "start without --api."));
    });
}

Monitoring::~Monitoring()
{
    VisualRepresentationData::setInstance(nullptr);
    Data::setInstance(nullptr);
}

void Monitoring::end()
{
    // No request may change the list while the files are saved.
    m_api.stop();
    m_core.end();
    // After the monitor, which makes no more alerts then.
    m_alerts.finishSending();
    LogManager::instance().log("Application", QT_TRANSLATE_NOOP("Phrases", "Application \"Tarnwick\" closed"));
}

} // namespace Tarnwick
