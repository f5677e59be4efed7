// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/Announcement.h"
#include "data/InventoryEvent.h"
#include "data/NetworkRound.h"

#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <functional>

namespace Tarnwick {

class Announcer;
class HistoryStore;
class MetricsPublisher;
class NetworkInventory;
class NetworkSweep;
class ReverseNameLookup;
class Settings;

// Sweeps the local networks every "Watch my network" period while that is on, merges what each
// round heard into the inventory, and tells the news: in the log always, and as messages through
// the announcer. The first round over a set of networks the watch has not swept before (the
// watch was just turned on, or the networks changed) is the baseline, told as one summary. The
// inventory and the baseline's networks are kept in the history file, so that a restart tells
// nothing again. News waits up to NameWait for the names of the addresses it tells of.
class NetworkWatch : public QObject
{
public:
    using Log = std::function<void(const QString& line)>;
    static constexpr std::chrono::milliseconds NameWait{2000};
    // News of one kind told one by one in a round; the rest in one message that counts them.
    static constexpr int MaxToldPerRound = 10;

    // store: where the inventory is kept (none: nowhere); watchedBefore: the networks of the
    // last baseline, as the store read them at start.
    NetworkWatch(const Settings& settings, NetworkInventory& inventory, NetworkSweep& sweep, Announcer& announcer,
                 Log log, QObject* parent = nullptr);
    ~NetworkWatch() override;

    void keepIn(HistoryStore* store, const QStringList& watchedBefore);
    void setMetrics(MetricsPublisher* metrics) { m_metrics = metrics; }
    // Starts sweeping as the settings say; they are followed from then on.
    void start();
    void stop();

private:
    void followSettings();
    void sweep();
    void roundFinished(const NetworkRound& round);
    void describeNew(const QList<InventoryEvent>& events);
    // The round's news within MaxToldPerRound of each kind, and one message each for the rest.
    QList<InventoryEvent> withinBound(const QList<InventoryEvent>& events);
    void nameHeard(const QString& address, const QString& name);
    void tellWaiting();
    void tell(const InventoryEvent& event);

    const Settings& m_settings;
    NetworkInventory& m_inventory;
    NetworkSweep& m_sweep;
    Announcer& m_announcer;
    Log m_log;
    HistoryStore* m_store = nullptr;
    MetricsPublisher* m_metrics = nullptr;
    ReverseNameLookup* m_names;
    QTimer m_nextRound;
    QTimer m_nameWait;
    bool m_started = false;
    // The networks whose first round was the baseline, sorted; empty: the next round is one.
    QStringList m_baseline;
    // What the settings said when last read: the period in seconds (0: off), and why the
    // networks cannot be used (told once).
    int m_period = 0;
    // The period the log last said the network is watched at.
    int m_toldPeriod = 0;
    QString m_refusal;
    // Lines of networks that could not be swept, told once each.
    QSet<QString> m_skippedTold;
    // News waiting for names, and the addresses whose names are still asked.
    QList<InventoryEvent> m_waiting;
    // Messages that count the news beyond the bound, told after the news itself.
    QList<Announcement> m_waitingCounts;
    QSet<QString> m_asking;
    // Hardware whose name has been asked in this run.
    QSet<QString> m_named;
};

} // namespace Tarnwick
