// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "RoundTripHistogram.h"
#include "data/ProbeRecord.h"
#include "data/SlottedHash.h"

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>

#include <prometheus/collectable.h>
#include <prometheus/metric_family.h>

#include <optional>
#include <string>
#include <vector>

namespace Tarnwick {

class Data;
class DeviceEntryChangedEvent;
class DeviceStatistics;
class MaintenanceView;
class ReachabilityView;
class SlowView;

// What Prometheus scrapes: for every device of the list, labelled by its address alone (so that
// editing a description does not start new series), its description, whether it is up and which
// failed device it is cut off behind, whether it is slow or in maintenance, its last round trip and a histogram of
// them all, its probes by result, its changes of state, and its loss and average round trip over the last five minutes;
// besides, the number of devices and the build, and whether the monitor can probe at all (without that, every device
// reads as down and says nothing of the devices). Each scrape reads the list as it is then, so that devices added,
// edited or removed show so in the next one. Results are counted from the monitor's threads and scrapes come from the
// server's: neither waits for the other longer than a copy of the counts takes.
class DeviceMetrics : public QObject, public prometheus::Collectable
{
    Q_OBJECT

public:
    static constexpr int RecentMinutes = 5;

    // canProbe: whether the monitor may send probes (it got its ICMP socket at start).
    DeviceMetrics(Data& data, const DeviceStatistics& statistics, const ReachabilityView& reachability,
                  const QString& version, bool canProbe, QObject* parent = nullptr);

    // One result of the monitor; from any thread.
    void record(const ProbeRecord& result);
    // Where tarnwick_device_slow comes from; without it the family is left out.
    void setSlowView(const SlowView* slow);
    // Where tarnwick_device_in_maintenance comes from; without it the family is left out.
    void setMaintenanceView(const MaintenanceView* maintenance);
    // A round of the network watch ended: how much hardware it heard, and what it told of.
    void networkRound(int heard, int newDevices, int hardwareChanges);
    // The path watch found the way to the device: its routers, and whether it changed.
    void pathFound(const QString& ip, int hops, bool changed);

    std::vector<prometheus::MetricFamily> Collect() const override;

private slots:
    void DeviceEntryChanged(Tarnwick::DeviceEntryChangedEvent* pEvent);
    void reachabilityChanged();
    void slownessChanged(const QString& ip);
    void maintenanceChanged();
    void deviceAdded(const QString& ip);
    void forgetUnlisted(const QString& ip);

private:
    struct Counts
    {
        double replies = 0;
        double timeouts = 0;
        double errors = 0;
        double stateChanges = 0;
        qint64 lastRoundTripUs = -1; // -1: the last result was no reply
        RoundTripHistogram roundTrips; // of the replies
    };

    Data& m_data;
    const DeviceStatistics& m_statistics;
    const ReachabilityView& m_reachability;
    std::string m_version;
    bool m_canProbe;
    mutable QMutex m_mutex;
    SlottedHash<Counts> m_counts; // by address
    // The watcher is read on its own thread; scrapes read this copy of who is cut off behind whom.
    QHash<QString, QString> m_behind;
    // Likewise the slow devices, by address, while a view of them is given.
    const SlowView* m_slowView = nullptr;
    QSet<QString> m_slow;
    // Likewise the devices in maintenance, by address, while a view of them is given.
    const MaintenanceView* m_maintenanceView = nullptr;
    QSet<QString> m_inMaintenance;
    // The network watch's figures, served once it has ended a round.
    struct NetworkFigures
    {
        int heard = 0;
        double newDevices = 0;
        double hardwareChanges = 0;
    };
    std::optional<NetworkFigures> m_network;
    struct PathFigures
    {
        int hops = 0;
        double changes = 0;
    };
    // By device, once the path watch found its way.
    QHash<QString, PathFigures> m_paths;
};

} // namespace Tarnwick
