// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Announcer.h"
#include "FileChangeWatch.h"
#include "data/NetworkInventory.h"
#include "net/NetworkProbe.h"

#include <QList>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace Tarnwick {

class Data;
class DevicePaths;
class DeviceStatistics;
class HistoryRecorder;
class MaintenanceList;
class MetricsPublisher;
class MuteList;
class NeighbourFinder;
class NetworkSweep;
class NetworkWatch;
class PathWatch;
class PingerThread;
class ProbeEngine;
class ReachabilityView;
class ReachabilityWatcher;
class SlowWatch;
class Settings;
class VisualRepresentationData;
struct FileReload;
struct ProbeRecord;

// The monitor without any window: the device list and the map with their files, the probe
// monitor, where its results go (history, statistics, metrics), reachability and the
// announcer. The desktop and the headless run each build one and put what they show on top.
// Lives on the GUI thread (the store's).
class MonitorCore
{
public:
    // Where the core says what the user should know (files it could not use, where metrics go).
    using Report = std::function<void(const QString& text)>;

    struct Options
    {
        QString deviceListFile = QStringLiteral("DeviceConfig.xml");
        QString mapFile = QStringLiteral("VisualRepresentation.xml");
        QString historyFile = QStringLiteral("History.sqlite");
        QString mutesFile = QStringLiteral("Mutes.xml");
        QString maintenanceFile = QStringLiteral("Maintenance.xml");
        QString metricsAddress;
        // Whether the metrics address is the setting's, and so follows it when the settings
        // are read again, rather than one given for this run.
        bool metricsFollowSettings = false;
        QString version;
        Report report;
        // A stand-in for the network (tests); none probes over it.
        ProbeFunction probe;
        // With a first hop set, how long disconnections wait for their group.
        std::chrono::milliseconds grouping = Announcer::DefaultGrouping;
        // Asked between the entries of the device list as it is read, and while the history's
        // last states and last hour are read: true gives the reading up (the program is
        // quitting), and the list is then never saved.
        std::function<bool()> stopLoading;
        // How the network watch finds IPv6 neighbours (its socket opened at start); none: the
        // watch asks IPv4 networks alone.
        const NeighbourFinder* neighbours = nullptr;
    };

    // Reads the device list and the map; the settings are read already. Devices read now are
    // not yet probed, and their first results announce nothing.
    MonitorCore(Settings& settings, ProbeEngine& engine, Options options);
    ~MonitorCore();

    Data& data() { return *m_data; }
    VisualRepresentationData& map() { return *m_map; }
    Announcer& announcer() { return *m_announcer; }
    ProbeEngine& engine() { return m_engine; }
    // Devices whose messages the user silenced, kept in the mutes file.
    MuteList& mutes() { return *m_mutes; }
    // The maintenance windows, kept in the maintenance file.
    MaintenanceList& maintenance() { return *m_maintenance; }
    // Which connected devices are slow.
    const SlowWatch& slowWatch() const { return *m_slow; }
    // Every piece of hardware the network watch has heard; an address of the device list makes
    // an entry known.
    NetworkInventory& inventory() { return m_inventory; }
    const ReachabilityView& reachability() const;
    // The way to each device as the path watch learnt it.
    const DevicePaths& paths() const { return *m_paths; }
    // The last hour's figures; none once the core has ended.
    const DeviceStatistics* statistics() const;
    QString historyFile() const;
    QString deviceListFile() const { return m_options.deviceListFile; }
    // Why results wait in memory rather than in the history file, if they do.
    QString recordingProblem() const;

    // Starts the monitor, or starts it again after it was paused; nothing while it runs or
    // once the core has ended.
    void start();
    // Stops the monitor until start() (a scan that must not compete with it); the results it
    // reported reach the store and the sinks before this returns.
    void pause();
    // The running monitor, or none.
    PingerThread* pinger() const { return m_pinger.get(); }
    // Probes the device at once, outside the monitor's turn ("Ping now"); nothing while the
    // monitor does not run.
    void pingNow(const QString& ip);
    // Reads the settings, the device list and the map files again (a hand edit while the
    // program runs): devices whose address and check are unchanged keep their state, figures
    // and history; new ones start not yet probed; removed ones stop. A file that cannot be read
    // whole leaves what runs as it is, and so does one the program holds changes of its own
    // for that are not saved yet. Each file's outcome is reported. A file that changes on disk
    // is read again by itself, on the same terms, soon after.
    void reload();
    // Stops the monitor before what takes its results, lets those go, and saves the files
    // last. Nothing of the core is used after this but its store, read-only.
    void end();

private:
    // The monitor's results, once the store has taken them, to the history, the statistics,
    // the metrics and the slow watch.
    void fanOut(const QList<ProbeRecord>& results);
    // Sets the engine's pace to what the list and the period need, once for a burst of changes,
    // and says in the log when devices are probed less often than the period asks.
    void paceEngineSoon();
    // A device went down: asks the devices on its way, and at most MostAskedBehind of those
    // behind it, at once.
    void askTheWay(const QString& ip);
    static constexpr int MostAskedBehind = 256;
    void paceEngine();
    void serveMetrics(const QString& address);
    // The inventory as the history kept it, and the watch that adds to it.
    void watchTheNetwork();
    // The paths as the history kept them, and the watch that traces them (none over a stand-in).
    void watchThePaths();
    // The files the core reads again: the settings, the device list and the map.
    std::vector<FileChangeWatch::File> files();
    void readSettingsAgain();
    // Says in the report what reading one file again did.
    void reportReload(const QString& file, const FileReload& outcome);
    // Says why a file is not read again: the program's own changes to it wait to be saved.
    void reportHeldBack(const DocumentFile& file);

    Settings& m_settings;
    ProbeEngine& m_engine;
    Options m_options;
    std::unique_ptr<Data> m_data;
    std::unique_ptr<VisualRepresentationData> m_map;
    std::unique_ptr<DevicePaths> m_paths;
    std::unique_ptr<ReachabilityWatcher> m_reachability;
    std::unique_ptr<MuteList> m_mutes;
    std::unique_ptr<MaintenanceList> m_maintenance;
    NetworkInventory m_inventory;
    std::unique_ptr<Announcer> m_announcer;
    std::unique_ptr<SlowWatch> m_slow;
    std::unique_ptr<HistoryRecorder> m_history;
    std::unique_ptr<MetricsPublisher> m_metrics;
    std::unique_ptr<PingerThread> m_pinger;
    std::unique_ptr<FileChangeWatch> m_fileWatch;
    std::unique_ptr<NetworkSweep> m_sweep;
    std::unique_ptr<NetworkWatch> m_networkWatch;
    std::unique_ptr<PathWatch> m_pathWatch;
    bool m_ended = false;
    bool m_pacePending = false;
    // The devices on a way asked within the grouping moment, asked once.
    QSet<QString> m_wayAsked;
    QString m_paceReported;
};

} // namespace Tarnwick
