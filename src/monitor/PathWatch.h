// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/DevicePath.h"
#include "net/IpAddress.h"
#include "net/ThreadMailbox.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <map>
#include <memory>

namespace Tarnwick {

class Announcer;
class Data;
class DeviceAddedEvent;
class DeviceEntryChangedEvent;
class DevicePaths;
class DeviceRemovedEvent;
class HistoryStore;
class MetricsPublisher;
class PathTrace;
class ProbeEngine;
class Settings;
class TraceHops;

// Traces the way to every device of the list: all of them as it starts and then every
// "PathWatchPeriod" seconds, one trace a second at most (a router answers one "time exceeded" a
// second to each host, after a few at once), and a device again as soon as its state changes.
// A trace that reaches its device and finds another way than the one known is logged ("Path to
// 10.0.3.7 changed: via 10.0.0.1, 10.9.9.1 (was via 10.0.0.1, 10.0.1.1)"), kept in the history,
// counted in the metrics and told as a message where the user asked for that, once a second
// trace a moment later has found it too; a hop that held its answer back this time keeps the
// router it had. A trace that does not reach its device
// (it failed, or the way to it did) changes nothing.
class PathWatch : public QObject
{
    Q_OBJECT

public:
    // Traces of state changes under way at once.
    static constexpr int TracesAtOnce = 4;
    static constexpr int TraceGapMs = 1000;
    // How soon a way found once is traced again to be sure of it.
    static constexpr int ConfirmAfterMs = 2000;

    PathWatch(Data& data, const Settings& settings, ProbeEngine& engine, DevicePaths& paths, Announcer& announcer,
              QObject* parent = nullptr);
    ~PathWatch() override;

    void keepIn(HistoryStore* store) { m_store = store; }
    void setMetrics(MetricsPublisher* metrics) { m_metrics = metrics; }
    void start();
    void stop();

public slots:
    void DeviceEntryChanged(Tarnwick::DeviceEntryChangedEvent* pEvent);
    void DeviceAdded(Tarnwick::DeviceAddedEvent* pEvent);
    void DeviceRemoved(Tarnwick::DeviceRemovedEvent* pEvent);

private:
    void followSettings();
    void startRound();
    // Starts the traces that may start now: the state changes first, then the round's next.
    void traceWhatMay();
    void trace(const QString& ip);
    void traceTo(const QString& ip, const IpAddress& address);
    void traced(const QString& ip, const TraceHops& hops);
    void finishedWith(const QString& ip);

    Data& m_data;
    const Settings& m_settings;
    ProbeEngine& m_engine;
    DevicePaths& m_paths;
    Announcer& m_announcer;
    HistoryStore* m_store = nullptr;
    MetricsPublisher* m_metrics = nullptr;
    QTimer m_nextRound;
    QTimer m_gap;
    bool m_started = false;
    int m_period = 0;
    QStringList m_round; // the devices the round has still to trace
    // The devices that changed state since their last trace, in the order they did, each once:
    // a mass outage puts thousands in, and each is looked for as it comes.
    struct Urgent
    {
        QStringList order;
        QSet<QString> known;
        bool add(const QString& ip)
        {
            if (known.contains(ip))
                return false;
            known.insert(ip);
            order << ip;
            return true;
        }
        QString takeFirst()
        {
            known.remove(order.first());
            return order.takeFirst();
        }
        void remove(const QString& ip)
        {
            if (known.remove(ip))
                order.removeAll(ip);
        }
        void clear()
        {
            order.clear();
            known.clear();
        }
        bool isEmpty() const { return order.isEmpty(); }
    };
    Urgent m_urgent;
    // Traces under way (or waiting for their address), by device.
    std::map<QString, std::unique_ptr<PathTrace>> m_running;
    QSet<QString> m_resolving;
    // Another way than the known one, found once, by device.
    QHash<QString, QStringList> m_candidates;
    // Names resolve on the resolver's threads; the watch may be gone by then.
    ThreadMailbox<PathWatch> m_mailbox{this};
};

} // namespace Tarnwick
