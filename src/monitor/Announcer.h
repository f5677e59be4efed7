// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "SlowRule.h"
#include "data/Announcement.h"
#include "data/DeviceEntry.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <chrono>
#include <optional>

namespace Tarnwick {

class Data;
class DeviceEntryChangedEvent;
class DeviceRemovedEvent;
class MaintenanceView;
class MuteList;
class ReachabilityWatcher;
class Settings;

// The one place that decides what a change of a device's state means, and tells it to its
// listeners in the order it decided:
// - a device's first result after start (or after it was added) says nothing;
// - every change of state makes a StateChanged announcement (the log's line);
// - devices that ask for it ("Information on state change") make an Alert;
// - with a first hop set or paths learnt, disconnections wait the grouping time to learn whether a device is
//   only cut off behind another: one Alert names the failed device and how many are behind
//   it, the group's return makes one Alert, and the StateChanged lines say behind whom;
// - a device that comes back while its disconnection waits is told disconnected first;
// - muted devices make no messages (their log lines stay): a message about a muted device is
//   not announced at all, so no one who tells the user shows it.
// - devices in maintenance make no messages either while their window lasts; as it ends, the
//   last message held back of each kind (state, slowness) is told if it still holds, so that a
//   device that went down and came back within the window makes none.
// - given the states devices were last known in before the start, a first result that differs
//   is a change that happened while Tarnwick was not running: its log line says so, and the
//   watched devices among them make one message together.
// - a connected device that becomes slow, or recovers, makes a SlowChanged line, and an Alert
//   if it asks for messages. With a first hop set or paths learnt, devices that turn slow wait the grouping
//   time as disconnections do: those slow only because the device they sit behind is slow go
//   into its message (its count of devices slow behind it), or into the message of the failed
//   one they sit behind, and make none of their own, nor when they recover.
// - given the devices slow when the last run ended, the first judgement of each is no news
//   when it finds the device slow still ("is still slow" in the log, no message), and a
//   recovery while Tarnwick was not running when it finds it not slow.
// - a device whose probes cannot be sent (its name does not resolve) makes a CannotProbe line
//   once, and again only when the reason changes or after a probe was heard again.
class Announcer : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds DefaultGrouping{1500};

    Announcer(Data& data, const Settings& settings, ReachabilityWatcher& reachability,
              std::chrono::milliseconds grouping = DefaultGrouping, QObject* parent = nullptr);

    // Each device's last known state (connected or not) from earlier runs, by address; before
    // the monitor starts.
    void setStatesBeforeStart(QHash<QString, bool> states);
    // The devices slow when the last run ended, by address; before the monitor starts.
    void setSlowBeforeStart(QSet<QString> devices);
    // Whose messages the user silenced; none silences none.
    void setMutes(const MuteList* mutes);
    // Which devices are in maintenance; none puts none in maintenance.
    void setMaintenance(const MaintenanceView* maintenance);
    // News of the network watch (What::Alert, a network kind), about the address it names first
    // if it names one: silenced by a mute as any message, and dropped while that address is in
    // maintenance (the window's end has nothing of it to tell).
    void tellNetworkNews(Announcement announcement);
    // The way to the device changed: a PathChanged line with the text, and where asked, a
    // message too (muted and held back in maintenance as any other, but never grouped).
    void pathChanged(const QString& ip, const QString& description, const QString& text, bool asMessage);
    // The device is judged afresh without a word (it went down, or its limits changed): it is
    // no longer slow, nor in another's message.
    void forgetSlow(const QString& ip);

signals:
    void announced(const Tarnwick::Announcement& announcement);

public slots:
    void DeviceEntryChanged(Tarnwick::DeviceEntryChangedEvent* pEvent);
    void DeviceRemoved(Tarnwick::DeviceRemovedEvent* pEvent);
    void slowChanged(const Tarnwick::DeviceEntry& device, const Tarnwick::SlowRule::Figures& figures);
    void judgedNotSlow(const Tarnwick::DeviceEntry& device, const Tarnwick::SlowRule::Figures& figures);

private:
    // A disconnection waiting for the grouping time: its log line (unless it only waits for
    // a message), and whether it takes part in the messages.
    struct GoneDown
    {
        QString ip;
        QString description;
        bool watched = false;
        bool logLine = true;
        bool forAlert = true;
        // The network's reason for the missed reply, where it gave one.
        QString reason = {};
    };

    // A CannotProbe line when the device's probes start failing to be sent, or for a new reason.
    void cannotProbe(const DeviceEntry& device);
    void firstResult(const DeviceEntry& device);
    void announceChangedWhileAway();
    void connected(const DeviceEntry& device);
    void disconnected(const DeviceEntry& device);
    void stillDownAfterItsGroup(const DeviceEntry& device);
    void gather(GoneDown device);
    void announceWaitingDown();
    // One message per failed device: alone, or naming how many are cut off behind it.
    void alertDown(const QList<GoneDown>& devices);
    // What the figures of a slow device, or one that recovered, say in its messages.
    static QString slowText(const SlowRule::Figures& figures);
    void alertSlow(const DeviceEntry& device, const SlowRule::Figures& figures, bool whileAway = false);
    void slowLine(const DeviceEntry& device, const QString& text);
    // The devices that turned slow while the grouping time ran, each alone or in the message
    // of the slow device they sit behind.
    void alertWaitingSlow();
    void stateChanged(const QString& ip, const QString& description, bool connected, const QString& behind = {},
                      const QString& reason = {});
    // A message (What::Alert, Kind::State) with the given fields, for alert().
    static Announcement message(const QString& title, const QStringList& devices, const QString& description,
                                const QString& text, bool connected);
    // The devices of a group's message, each with its description, all in one state.
    QList<Announcement::Device> eachOf(const QStringList& devices, bool connected) const;
    // Announces the message, stamped with the time, unless its first device is muted; holds it
    // back while that device is in maintenance.
    void alert(Announcement announcement);
    void holdForMaintenance(const Announcement& announcement);
    // Tells what was held back of the devices whose maintenance ended and still holds.
    void maintenanceChanged();

    Data& m_data;
    const Settings& m_settings;
    ReachabilityWatcher& m_reachability;
    QTimer m_downGate;
    // In the order they went down.
    QList<GoneDown> m_goneDown;
    // Failed devices whose message was shown, while they stay down: devices that fall behind
    // them later repeat that message rather than making their own.
    QSet<QString> m_announcedDown;
    // Devices told of only in the message of the failed device they were cut off behind, by
    // address: that device's address, and how often they missed since it came back.
    struct Covered
    {
        QString behind;
        int missesSinceBack = 0;
    };
    QHash<QString, Covered> m_covered;
    // Failed devices told of with a group that have come back.
    QSet<QString> m_groupsBack;
    // Devices whose probes cannot be sent, with the reason told.
    QHash<QString, QString> m_cannotProbe;
    // Devices slow when the last run ended whose first judgement has not come yet.
    QSet<QString> m_slowBefore;
    // Devices known from earlier runs whose first result has not come yet.
    QHash<QString, bool> m_statesBefore;
    // Watched devices found changed at their first result, waiting for the others' first results.
    QList<DeviceEntry> m_changedWhileAway;
    QTimer m_awayGate;
    const MuteList* m_mutes = nullptr;
    const MaintenanceView* m_maintenance = nullptr;
    // The messages held back during a device's maintenance: the last of each kind, and what
    // was last told before the first of them (connected, slow).
    struct Held
    {
        std::optional<Announcement> state;
        bool connectedBefore = false;
        std::optional<Announcement> slow;
        bool slowBefore = false;
    };
    QHash<QString, Held> m_held;
    // The devices slow now, with the figures that made them so.
    QHash<QString, SlowRule::Figures> m_slow;
    // Devices that turned slow while the grouping time runs, in that order.
    QList<DeviceEntry> m_turnedSlow;
    // Slow devices told of only in the message of the device they sit behind.
    QSet<QString> m_slowCovered;
    // Slow devices whose message was shown, while they stay slow: a group that grows behind
    // one updates it.
    QSet<QString> m_slowShown;
};

} // namespace Tarnwick
