// SPDX-License-Identifier: GPL-3.0-or-later
#include "Announcer.h"

#include "ReachabilityWatcher.h"
#include "data/Data.h"
#include "data/DeviceEntryChangedEvent.h"
#include "data/Settings.h"

#include <QDateTime>
#include <QMap>

#include <algorithm>
#include <set>
#include <utility>

namespace Tarnwick {

Announcer::Announcer(Data& data, const Settings& settings, ReachabilityWatcher& reachability,
                     std::chrono::milliseconds grouping, QObject* parent)
    : QObject(parent)
    , m_data(data)
    , m_settings(settings)
    , m_reachability(reachability)
{
    qRegisterMetaType<Announcement>();
    m_downGate.setSingleShot(true);
    m_downGate.setInterval(grouping);
    connect(&m_downGate, &QTimer::timeout, this, &Announcer::announceWaitingDown);
    data.connectReceiver(this);
}

void Announcer::DeviceEntryChanged(DeviceEntryChangedEvent* pEvent)
{
    const DeviceEntry after = pEvent->newEntry();
    if (!pEvent->changesState())
        stillDownAfterItsGroup(after);
    else if (after.state == DeviceStateConnected)
        connected(after);
    else
        disconnected(after);
}

void Announcer::connected(const DeviceEntry& device)
{
    // A disconnection still waiting for its group is told first: the lines keep the order of
    // the changes, and the last one says the state the device is in.
    const auto waiting = std::find_if(m_goneDown.begin(), m_goneDown.end(),
                                      [&](const GoneDown& down) { return down.ip == device.ip; });
    if (waiting != m_goneDown.end()) {
        if (waiting->logLine)
            stateChanged(waiting->ip, waiting->description, false, {}, waiting->reason);
        m_goneDown.erase(waiting);
    }
    stateChanged(device.ip, device.description, true);
    m_announcedDown.remove(device.ip);
    // A device told of only in the message of the one it was cut off behind comes back with
    // that one, whose message tells the group's return.
    if (m_covered.remove(device.ip))
        return;
    const bool ledGroup = std::any_of(m_covered.cbegin(), m_covered.cend(),
                                      [&](const Covered& covered) { return covered.behind == device.ip; });
    if (ledGroup)
        m_groupsBack.insert(device.ip);
    if (!device.informOnStateChange && !ledGroup)
        return;
    alert(Announcement::What::Alert, QStringLiteral("Device connected"), {device.ip}, device.description,
          device.ip + QLatin1Char(' ') + device.description, true);
}

void Announcer::disconnected(const DeviceEntry& device)
{
    m_groupsBack.remove(device.ip);
    if (m_settings.firstHop.isEmpty()) {
        stateChanged(device.ip, device.description, false, {}, device.lastProbe.reason);
        if (device.informOnStateChange)
            alertDown({{device.ip, device.description, true, true, true}});
        return;
    }
    // With a first hop, what fails together is told together: the device waits a moment for
    // the devices behind a failed one to fail too. An unwatched device takes part in the
    // messages only while it may add to the count of one already shown.
    gather({device.ip, device.description, device.informOnStateChange, true,
            device.informOnStateChange || !m_announcedDown.isEmpty(), device.lastProbe.reason});
}

void Announcer::stillDownAfterItsGroup(const DeviceEntry& device)
{
    // A device of a group that came back but itself still misses failed on its own, and is
    // told so. Two misses after the group's return: the first may be of a probe sent before.
    // Its state never changed, so the log has nothing new to say.
    const auto covered = m_covered.find(device.ip);
    if (covered == m_covered.end() || device.lastProbe.answered() || !m_groupsBack.contains(covered->behind))
        return;
    if (++covered->missesSinceBack < 2)
        return;
    m_covered.erase(covered);
    if (device.informOnStateChange)
        gather({device.ip, device.description, true, false, true});
}

void Announcer::gather(GoneDown device)
{
    const auto same = std::find_if(m_goneDown.begin(), m_goneDown.end(),
                                   [&](const GoneDown& down) { return down.ip == device.ip; });
    if (same == m_goneDown.end()) {
        m_goneDown.append(std::move(device));
    } else {
        same->logLine = same->logLine || device.logLine;
        same->forAlert = same->forAlert || device.forAlert;
    }
    m_downGate.start();
}

void Announcer::announceWaitingDown()
{
    m_reachability.recompute();
    const QList<GoneDown> devices = std::exchange(m_goneDown, {});
    QList<GoneDown> forAlert;
    for (const GoneDown& device : devices) {
        if (device.logLine)
            stateChanged(device.ip, device.description, false, m_reachability.behind(device.ip), device.reason);
        if (device.forAlert)
            forAlert << device;
    }
    alertDown(forAlert);
}

void Announcer::alertDown(const QList<GoneDown>& devices)
{
    // Devices cut off behind a failed one go into that one's message.
    std::set<QString> cutOffBehind;
    QMap<QString, QString> alone;
    QHash<QString, QStringList> behindEach;
    for (const GoneDown& device : devices) {
        const QString behind = m_reachability.behind(device.ip);
        if (!behind.isEmpty()) {
            cutOffBehind.insert(behind);
            behindEach[behind] << device.ip;
            m_covered.insert(device.ip, {behind, 0});
        } else if (device.watched) {
            alone.insert(device.ip, device.description);
        }
    }
    // A failed device that leads a group is told of in the group's message alone.
    for (auto it = alone.cbegin(); it != alone.cend(); ++it) {
        if (!cutOffBehind.count(it.key()))
            alert(Announcement::What::Alert, QStringLiteral("Device Disconnected"), {it.key()}, it.value(),
                  it.key() + QLatin1Char(' ') + it.value(), false);
        m_announcedDown.insert(it.key());
    }
    // The count is of every device cut off behind the failed one, watched or not. Devices that
    // fall behind an announced one later (probed after the wait) repeat its message with the
    // new count.
    for (const QString& failed : cutOffBehind) {
        const int count = m_reachability.countBehind(failed);
        const QString description = m_data.entry(failed).description;
        const bool shownBefore = m_announcedDown.contains(failed) && !alone.contains(failed);
        m_announcedDown.insert(failed);
        alert(shownBefore ? Announcement::What::AlertRepeated : Announcement::What::Alert,
              QStringLiteral("Device Disconnected"), QStringList{failed} + behindEach.value(failed), description,
              QStringLiteral("%1 %2, %3 %4 behind it unreachable")
                  .arg(failed, description)
                  .arg(count)
                  .arg(count == 1 ? QStringLiteral("device") : QStringLiteral("devices")),
              false);
    }
}

void Announcer::stateChanged(const QString& ip, const QString& description, bool connected, const QString& behind,
                             const QString& reason)
{
    Announcement announcement;
    announcement.devices = {ip};
    announcement.description = description;
    announcement.connected = connected;
    announcement.behind = behind;
    announcement.reason = reason;
    emit announced(announcement);
}

void Announcer::alert(Announcement::What what, const QString& title, const QStringList& devices,
                      const QString& description, const QString& text, bool connected)
{
    Announcement announcement;
    announcement.what = what;
    announcement.title = title;
    announcement.text = text;
    announcement.devices = devices;
    announcement.description = description;
    announcement.connected = connected;
    announcement.time = QDateTime::currentDateTimeUtc();
    emit announced(announcement);
}

} // namespace Tarnwick
