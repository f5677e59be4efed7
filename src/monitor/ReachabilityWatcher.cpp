// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReachabilityWatcher.h"

#include "data/Data.h"
#include "data/DeviceEntryChangedEvent.h"
#include "data/DeviceRemovedEvent.h"
#include "data/Settings.h"
#include "data/VisualRepresentationData.h"

#include <algorithm>

namespace Tarnwick {

ReachabilityWatcher::ReachabilityWatcher(Data& data, VisualRepresentationData& map, const Settings& settings,
                                         QObject* parent)
    : ReachabilityView(parent)
    , m_data(data)
    , m_map(map)
    , m_settings(settings)
{
    // States change in bursts (a router and everything behind it): one look shortly after the
    // first change takes the burst in, however long results keep coming.
    m_soon.setSingleShot(true);
    m_soon.setInterval(200);
    connect(&m_soon, &QTimer::timeout, this, &ReachabilityWatcher::recompute);
    data.connectReceiver(this);
    const auto soon = [this] { lookSoon(); };
    connect(&map, &VisualRepresentationData::ItemConnectionAdded, this, soon);
    connect(&map, &VisualRepresentationData::ItemConnectionRemoved, this, soon);
    connect(&map, &VisualRepresentationData::ItemRemoved, this, soon);
    m_settings.onChange(&Settings::firstHop, this, [this] { recompute(); });
    recompute();
}

void ReachabilityWatcher::lookSoon()
{
    if (!m_soon.isActive())
        m_soon.start();
}

void ReachabilityWatcher::DeviceEntryChanged(DeviceEntryChangedEvent* pEvent)
{
    // Events arrive in the order of the results, so counting them orders the results. An edit
    // repeats the last result, which changes no order that matters.
    const DeviceEntry& after = pEvent->newEntry();
    const DeviceEntry& before = pEvent->oldEntry();
    if (after.ip != before.ip)
        m_heard.remove(before.ip);
    else
        heard(after.ip, after.lastProbe.heard());
    if (after.state != before.state || after.awaitingFirstResult != before.awaitingFirstResult)
        lookSoon();
}

void ReachabilityWatcher::DeviceAdded(DeviceAddedEvent*)
{
    lookSoon();
}

void ReachabilityWatcher::DeviceRemoved(DeviceRemovedEvent* pEvent)
{
    m_heard.remove(pEvent->entry().ip);
    lookSoon();
}

QString ReachabilityWatcher::behind(const QString& ip) const
{
    return m_cutOff.value(ip);
}

int ReachabilityWatcher::countBehind(const QString& ip) const
{
    return int(std::count(m_cutOff.cbegin(), m_cutOff.cend(), ip));
}

void ReachabilityWatcher::heard(const QString& ip, bool answered)
{
    Reachability::Heard& device = m_heard[ip];
    ++m_tick;
    if (answered) {
        device.lastAnswer = m_tick;
        device.firstMiss = Reachability::Heard::Unknown;
    } else if (device.firstMiss == Reachability::Heard::Unknown) {
        device.firstMiss = m_tick;
    }
}

Reachability::Links ReachabilityWatcher::links() const
{
    Reachability::Links links;
    for (const VisualRepresentationItemConnection& connection : m_map.connections())
        links << qMakePair(connection.ip1, connection.ip2);
    return links;
}

QHash<QString, bool> ReachabilityWatcher::statesOnTheWay(const Reachability::Links& links,
                                                         const QSet<QString>& slow) const
{
    // Only the first hop and the devices joined on the map can be on anyone's way: their
    // states are all the look needs, so it costs the same for a list of ten or 100,000.
    QHash<QString, bool> fine;
    const auto note = [this, &fine, &slow](const QString& ip) {
        if (fine.contains(ip))
            return;
        const DeviceEntry entry = m_data.entry(ip);
        if (!entry.ip.isEmpty())
            fine.insert(ip,
                        !slow.contains(ip) && (entry.awaitingFirstResult || entry.state != DeviceStateDisconnected));
    };
    if (!m_settings.firstHop.isEmpty()) {
        note(m_settings.firstHop);
        for (const auto& [a, b] : links) {
            note(a);
            note(b);
        }
    }
    return fine;
}

QHash<QString, QString> ReachabilityWatcher::slowBehind(const QSet<QString>& slow) const
{
    // The same reading of the map as for failures, with slow devices counted as in trouble too.
    const Reachability::Links links = this->links();
    QHash<QString, QString> behind = Reachability::cutOff(links, statesOnTheWay(links, slow), m_settings.firstHop);
    behind.removeIf([&slow](const auto& device) { return !slow.contains(device.key()); });
    return behind;
}

void ReachabilityWatcher::recompute()
{
    const Reachability::Links links = this->links();
    QHash<QString, QString> cutOff = Reachability::cutOff(links, statesOnTheWay(links, {}), m_settings.firstHop,
                                                          m_heard);
    const bool changed = cutOff != m_cutOff;
    m_cutOff = std::move(cutOff);
    if (changed)
        emit reachabilityChanged();
}

} // namespace Tarnwick
