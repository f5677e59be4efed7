// SPDX-License-Identifier: GPL-3.0-or-later
#include "Announcer.h"

#include "ReachabilityWatcher.h"
#include "data/Data.h"
#include "data/DeviceEntryChangedEvent.h"
#include "data/DeviceRemovedEvent.h"
#include "data/MaintenanceView.h"
#include "data/MuteList.h"
#include "data/PhraseBook.h"
#include "data/Settings.h"

#include <QDateTime>
#include <QMap>

#include <algorithm>
#include <set>
#include <utility>

namespace Tarnwick {

namespace {

// The titles of alerts, in English as channels and logs take them; the desktop translates them.
const QString ConnectedTitle = QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "Device connected"));
const QString DisconnectedTitle = QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "Device Disconnected"));
const QString SlowTitle = QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "Device slow"));
const QString NoLongerSlowTitle = QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "Device no longer slow"));
const QString PathChangedTitle = QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "Path changed"));

} // namespace

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
    m_awayGate.setSingleShot(true);
    m_awayGate.setInterval(grouping);
    connect(&m_awayGate, &QTimer::timeout, this, &Announcer::announceChangedWhileAway);
    data.connectReceiver(this);
}

void Announcer::setStatesBeforeStart(QHash<QString, bool> states)
{
    m_statesBefore = std::move(states);
}

void Announcer::setSlowBeforeStart(QSet<QString> devices)
{
    m_slowBefore = std::move(devices);
}

void Announcer::setMutes(const MuteList* mutes)
{
    m_mutes = mutes;
}

void Announcer::setMaintenance(const MaintenanceView* maintenance)
{
    if (m_maintenance)
        disconnect(m_maintenance, nullptr, this, nullptr);
    m_maintenance = maintenance;
    if (m_maintenance)
        connect(m_maintenance, &MaintenanceView::changed, this, &Announcer::maintenanceChanged);
}

void Announcer::DeviceEntryChanged(DeviceEntryChangedEvent* pEvent)
{
    const DeviceEntry& after = pEvent->newEntry();
    cannotProbe(after);
    if (pEvent->changesState())
        forgetSlow(after.ip);
    // A device found down is told of as such; slowness from before has ended with it.
    if (!after.awaitingFirstResult && after.state != DeviceStateConnected)
        m_slowBefore.remove(after.ip);
    if (pEvent->oldEntry().awaitingFirstResult && !after.awaitingFirstResult)
        firstResult(after);
    else if (!pEvent->changesState())
        stillDownAfterItsGroup(after);
    else if (after.state == DeviceStateConnected)
        connected(after);
    else
        disconnected(after);
}

void Announcer::DeviceRemoved(DeviceRemovedEvent* pEvent)
{
    m_cannotProbe.remove(pEvent->entry().ip);
    m_held.remove(pEvent->entry().ip);
}

void Announcer::cannotProbe(const DeviceEntry& device)
{
    const ProbeResult& probe = device.lastProbe;
    if (probe.kind != ProbeResult::SocketError || probe.reason.isEmpty()) {
        // Only a heard probe ends it: one refused here and unheard in turn (a path whose MTU the
        // kernel learns and forgets again) is told once.
        if (probe.heard())
            m_cannotProbe.remove(device.ip);
        return;
    }
    // Told once while the same reason holds: a name that never resolves fails at every probe.
    const auto known = m_cannotProbe.constFind(device.ip);
    if (known != m_cannotProbe.cend() && *known == probe.reason)
        return;
    m_cannotProbe.insert(device.ip, probe.reason);
    Announcement line;
    line.what = Announcement::What::CannotProbe;
    line.text = PhraseBook::english(PhraseBook::CannotBeProbed, {probe.reason});
    line.devices = {device.ip};
    line.description = device.description;
    emit announced(line);
}

void Announcer::firstResult(const DeviceEntry& device)
{
    const auto before = m_statesBefore.constFind(device.ip);
    if (before == m_statesBefore.cend())
        return;
    const bool wasConnected = *before;
    m_statesBefore.erase(before);
    const bool known = device.state == DeviceStateConnected || device.state == DeviceStateDisconnected;
    if (known && (device.state == DeviceStateConnected) != wasConnected) {
        Announcement announcement;
        announcement.devices = {device.ip};
        announcement.description = device.description;
        announcement.connected = device.state == DeviceStateConnected;
        announcement.reason = announcement.connected ? QString() : device.lastProbe.reason;
        announcement.whileAway = true;
        emit announced(announcement);
        if (device.informOnStateChange && !(m_mutes && m_mutes->isMuted(device.ip)))
            m_changedWhileAway << device;
    }
    if (m_changedWhileAway.isEmpty())
        return;
    // The message waits for the first results of the other devices known from before, or
    // for a pause in them, whichever comes first (a device that never answers nor times out
    // keeps no one waiting).
    if (m_statesBefore.isEmpty())
        announceChangedWhileAway();
    else
        m_awayGate.start();
}

void Announcer::announceChangedWhileAway()
{
    m_awayGate.stop();
    const QList<DeviceEntry> devices = std::exchange(m_changedWhileAway, {});
    if (devices.isEmpty())
        return;
    const DeviceEntry& first = devices.first();
    const bool connected = first.state == DeviceStateConnected;
    if (devices.size() == 1) {
        Announcement single = message(connected ? ConnectedTitle : DisconnectedTitle, {first.ip}, first.description,
                                      PhraseBook::english(PhraseBook::WhileAway, {first.ip + u' ' + first.description}),
                                      connected);
        single.whileAway = true;
        alert(single);
        return;
    }
    QStringList addresses;
    QStringList named;
    QList<Announcement::Device> each;
    bool allConnected = true;
    for (const DeviceEntry& device : devices) {
        const bool up = device.state == DeviceStateConnected;
        allConnected = allConnected && up;
        addresses << device.ip;
        each.append({device.ip, device.description, up});
        const QString name = device.description.isEmpty() ? device.ip
                                                          : device.ip + QLatin1Char(' ') + device.description;
        named << QStringLiteral("%1 %2").arg(name, up ? QStringLiteral("connected") : QStringLiteral("disconnected"));
    }
    Announcement several = message(
        QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "Devices changed while Tarnwick was not running")), addresses,
        first.description,
        PhraseBook::english(PhraseBook::SeveralChangedWhileAway,
                            {QString::number(devices.size()), named.join(QStringLiteral(", "))}),
        allConnected);
    several.whileAway = true;
    several.each = each;
    alert(several);
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
    alert(message(ConnectedTitle, {device.ip}, device.description, device.ip + QLatin1Char(' ') + device.description,
                  true));
}

void Announcer::disconnected(const DeviceEntry& device)
{
    m_groupsBack.remove(device.ip);
    if (!m_reachability.groupsFailures()) {
        stateChanged(device.ip, device.description, false, {}, device.lastProbe.reason);
        if (device.informOnStateChange)
            alertDown({{device.ip, device.description, true, true, true, device.lastProbe.reason}});
        return;
    }
    // Where failures group (a first hop, or paths learnt), what fails together is told together: the device waits a
    // moment for the devices behind a failed one to fail too. An unwatched device takes part in the messages only while
    // it may add to the count of one already shown.
    gather({device.ip, device.description, device.informOnStateChange, true,
            device.informOnStateChange || !m_announcedDown.isEmpty(), device.lastProbe.reason});
}

void Announcer::stillDownAfterItsGroup(const DeviceEntry& device)
{
    // A device of a group that came back but itself still misses failed on its own, and is
    // told so. Two misses after the group's return: the first may be of a probe sent before.
    // Its state never changed, so the log has nothing new to say.
    const auto covered = m_covered.find(device.ip);
    if (covered == m_covered.end() || device.lastProbe.heard() || !m_groupsBack.contains(covered->behind))
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
            stateChanged(device.ip, device.description, false, m_reachability.behindText(device.ip), device.reason);
        if (device.forAlert)
            forAlert << device;
    }
    alertDown(forAlert);
    alertWaitingSlow();
}

void Announcer::alertDown(const QList<GoneDown>& devices)
{
    // Devices cut off behind a failed one go into that one's message.
    std::set<QString> cutOffBehind;
    QMap<QString, GoneDown> alone;
    QHash<QString, QStringList> behindEach;
    for (const GoneDown& device : devices) {
        const QString behind = m_reachability.behind(device.ip);
        if (!behind.isEmpty()) {
            cutOffBehind.insert(behind);
            behindEach[behind] << device.ip;
            m_covered.insert(device.ip, {behind, 0});
        } else if (device.watched) {
            alone.insert(device.ip, device);
        }
    }
    // A failed device that leads a group is told of in the group's message alone.
    for (auto it = alone.cbegin(); it != alone.cend(); ++it) {
        if (!cutOffBehind.count(it.key())) {
            QString text = it.key() + QLatin1Char(' ') + it->description;
            // A device of several checks says which failed ("TCP 443: connection refused").
            if (!it->reason.isEmpty() && !m_data.entry(it.key()).moreChecks.isEmpty())
                text = PhraseBook::english(PhraseBook::WithReason, {text.trimmed(), it->reason});
            alert(message(DisconnectedTitle, {it.key()}, it->description, text, false));
        }
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
        const QString named = m_data.contains(failed) ? failed + u' ' + description
                                                      : PhraseBook::english(PhraseBook::NotInYourList, {failed});
        Announcement group = message(DisconnectedTitle, QStringList{failed} + behindEach.value(failed), description,
                                     PhraseBook::english(PhraseBook::BehindUnreachable, {named}, count), false);
        group.what = shownBefore ? Announcement::What::AlertRepeated : Announcement::What::Alert;
        group.each = eachOf(group.devices, false);
        alert(group);
    }
}

QString Announcer::slowText(const SlowRule::Figures& figures)
{
    const QString average = QString::number(figures.averageMs, 'f', figures.averageMs < 10 ? 1 : 0);
    if (!figures.slow)
        return PhraseBook::english(PhraseBook::SlowFigures,
                                   {average, QString::number(figures.lossPercent), QString::number(figures.results)});
    if (figures.byAverage)
        return PhraseBook::english(PhraseBook::SlowByAverage, {average, QString::number(figures.replies)});
    return PhraseBook::english(PhraseBook::SlowByLoss,
                               {QString::number(figures.lossPercent), QString::number(figures.results)});
}

void Announcer::slowLine(const DeviceEntry& device, const QString& text)
{
    Announcement line;
    line.what = Announcement::What::SlowChanged;
    line.text = text;
    line.devices = {device.ip};
    line.description = device.description;
    line.connected = true;
    emit announced(line);
}

void Announcer::slowChanged(const DeviceEntry& device, const SlowRule::Figures& figures)
{
    // Slow when the last run ended and slow again at this run's first judgement: the same
    // slowness, told before. Its recovery is news.
    if (figures.slow && m_slowBefore.remove(device.ip)) {
        slowLine(device, PhraseBook::english(PhraseBook::IsStillSlow, {slowText(figures)}));
        m_slow.insert(device.ip, figures);
        if (device.informOnStateChange)
            m_slowShown.insert(device.ip);
        return;
    }
    slowLine(device,
             PhraseBook::english(figures.slow ? PhraseBook::IsSlow : PhraseBook::IsNoLongerSlow, {slowText(figures)}));

    if (!figures.slow) {
        // A device told of in another's message recovers with it, unheard.
        const bool covered = m_slowCovered.contains(device.ip);
        forgetSlow(device.ip);
        if (!covered)
            alertSlow(device, figures);
        return;
    }
    m_slow.insert(device.ip, figures);
    if (!m_reachability.groupsFailures()) {
        alertSlow(device, figures);
        return;
    }
    // Where failures group, what turns slow together is told together, as failures are.
    m_turnedSlow << device;
    m_downGate.start();
}

void Announcer::judgedNotSlow(const DeviceEntry& device, const SlowRule::Figures& figures)
{
    // Slow when the last run ended, and no longer: it recovered while Tarnwick was not running.
    if (!m_slowBefore.remove(device.ip))
        return;
    slowLine(device,
             PhraseBook::english(PhraseBook::WhileAway,
                                 {PhraseBook::english(PhraseBook::IsNoLongerSlow, {slowText(figures)})}));
    alertSlow(device, figures, true);
}

void Announcer::alertSlow(const DeviceEntry& device, const SlowRule::Figures& figures, bool whileAway)
{
    if (!device.informOnStateChange)
        return;
    QString text = PhraseBook::english(PhraseBook::SaidOf, {device.ip + u' ' + device.description, slowText(figures)});
    if (whileAway)
        text = PhraseBook::english(PhraseBook::WhileAway, {text});
    Announcement slow = message(figures.slow ? SlowTitle : NoLongerSlowTitle, {device.ip}, device.description, text,
                                true);
    slow.kind = figures.slow ? Announcement::Kind::Slow : Announcement::Kind::NoLongerSlow;
    slow.whileAway = whileAway;
    alert(slow);
}

void Announcer::forgetSlow(const QString& ip)
{
    m_slowBefore.remove(ip);
    m_slow.remove(ip);
    m_slowCovered.remove(ip);
    m_slowShown.remove(ip);
    m_turnedSlow.removeIf([&ip](const DeviceEntry& waiting) { return waiting.ip == ip; });
}

void Announcer::alertWaitingSlow()
{
    const QList<DeviceEntry> devices = std::exchange(m_turnedSlow, {});
    if (devices.isEmpty())
        return;
    QSet<QString> slowNow;
    for (auto it = m_slow.cbegin(); it != m_slow.cend(); ++it)
        slowNow.insert(it.key());
    const QHash<QString, QString> behind = m_reachability.slowBehind(slowNow);
    QSet<QString> leaders;
    QHash<QString, QStringList> behindEach;
    bool groupWatched = false;
    for (const DeviceEntry& device : devices) {
        const QString leader = behind.value(device.ip);
        if (leader.isEmpty())
            continue;
        m_slowCovered.insert(device.ip);
        // Behind a failed device it is told of by that failure.
        if (!slowNow.contains(leader))
            continue;
        leaders.insert(leader);
        behindEach[leader] << device.ip;
        groupWatched = groupWatched || device.informOnStateChange;
    }
    for (const DeviceEntry& device : devices) {
        if (behind.contains(device.ip) || leaders.contains(device.ip))
            continue;
        alertSlow(device, m_slow.value(device.ip));
        if (device.informOnStateChange)
            m_slowShown.insert(device.ip);
    }
    for (const QString& leader : std::as_const(leaders)) {
        const DeviceEntry device = m_data.entry(leader);
        if (!device.informOnStateChange && !groupWatched)
            continue;
        const int count = int(std::count(behind.cbegin(), behind.cend(), leader));
        const bool shownBefore = m_slowShown.contains(leader);
        m_slowShown.insert(leader);
        Announcement group = message(
            SlowTitle, QStringList{leader} + behindEach.value(leader), device.description,
            PhraseBook::english(PhraseBook::BehindSlow,
                                {leader + u' ' + device.description, slowText(m_slow.value(leader))}, count),
            true);
        group.what = shownBefore ? Announcement::What::AlertRepeated : Announcement::What::Alert;
        group.kind = Announcement::Kind::Slow;
        group.each = eachOf(group.devices, true);
        alert(group);
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

Announcement Announcer::message(const QString& title, const QStringList& devices, const QString& description,
                                const QString& text, bool connected)
{
    Announcement announcement;
    announcement.what = Announcement::What::Alert;
    announcement.title = title;
    announcement.text = text;
    announcement.devices = devices;
    announcement.description = description;
    announcement.connected = connected;
    return announcement;
}

QList<Announcement::Device> Announcer::eachOf(const QStringList& devices, bool connected) const
{
    QList<Announcement::Device> each;
    each.reserve(devices.size());
    for (const QString& ip : devices)
        each.append({ip, m_data.entry(ip).description, connected});
    return each;
}

void Announcer::alert(Announcement announcement)
{
    // A group's message is about the device it names first (the failed one).
    const QString& about = announcement.devices.first();
    if (m_maintenance && m_maintenance->inMaintenance(about)) {
        holdForMaintenance(announcement);
        return;
    }
    if (m_mutes && m_mutes->isMuted(about))
        return;
    announcement.time = QDateTime::currentDateTimeUtc();
    emit announced(announcement);
}

void Announcer::tellNetworkNews(Announcement announcement)
{
    const QString about = announcement.devices.value(0);
    if (m_mutes && (about.isEmpty() ? m_mutes->allMutedUntil().has_value() : m_mutes->isMuted(about)))
        return;
    if (m_maintenance && !about.isEmpty() && m_maintenance->inMaintenance(about))
        return;
    announcement.time = QDateTime::currentDateTimeUtc();
    emit announced(announcement);
}

void Announcer::pathChanged(const QString& ip, const QString& description, const QString& text, bool asMessage)
{
    Announcement line;
    line.what = Announcement::What::PathChanged;
    line.kind = Announcement::Kind::PathChanged;
    line.devices = QStringList{ip};
    line.description = description;
    line.text = text;
    line.time = QDateTime::currentDateTimeUtc();
    emit announced(line);
    if (!asMessage)
        return;
    // A way that changed back and forth in a window is no news once it has ended: dropped there,
    // as the network watch's news are.
    Announcement news = line;
    news.what = Announcement::What::Alert;
    news.title = PathChangedTitle;
    tellNetworkNews(news);
}

void Announcer::holdForMaintenance(const Announcement& announcement)
{
    // A message that repeats one shown before the window changes nothing that was told.
    const bool repeated = announcement.what == Announcement::What::AlertRepeated;
    Held& held = m_held[announcement.devices.first()];
    if (announcement.kind == Announcement::Kind::State) {
        if (!held.state)
            held.connectedBefore = repeated ? announcement.connected : !announcement.connected;
        held.state = announcement;
    } else {
        const bool slow = announcement.kind == Announcement::Kind::Slow;
        if (!held.slow)
            held.slowBefore = repeated ? slow : !slow;
        held.slow = announcement;
    }
}

void Announcer::maintenanceChanged()
{
    QList<std::pair<QString, Held>> ended;
    for (auto it = m_held.begin(); it != m_held.end();) {
        if (m_maintenance && m_maintenance->inMaintenance(it.key())) {
            ++it;
            continue;
        }
        ended.append({it.key(), it.value()});
        it = m_held.erase(it);
    }
    const auto tell = [this](Announcement announcement) {
        announcement.what = Announcement::What::Alert;
        announcement.text = PhraseBook::english(PhraseBook::DuringMaintenance, {announcement.text});
        alert(std::move(announcement));
    };
    for (const auto& [ip, held] : std::as_const(ended)) {
        const DeviceEntry device = m_data.entry(ip);
        // Told only where the device is in the state the last held message says, and that
        // differs from what was told before the window.
        if (held.state && !device.awaitingFirstResult
            && (device.state == DeviceStateConnected || device.state == DeviceStateDisconnected)) {
            const bool connected = device.state == DeviceStateConnected;
            if (connected == held.state->connected && connected != held.connectedBefore)
                tell(*held.state);
        }
        if (held.slow) {
            const bool slow = m_slow.contains(ip);
            if (slow == (held.slow->kind == Announcement::Kind::Slow) && slow != held.slowBefore)
                tell(*held.slow);
        }
    }
}

} // namespace Tarnwick
