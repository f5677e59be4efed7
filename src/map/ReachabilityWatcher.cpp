// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReachabilityWatcher.h"

#include "VisualRepresentationData.h"
#include "data/Data.h"
#include "data/DeviceEntryChangedEvent.h"
#include "data/Reachability.h"
#include "data/Settings.h"

namespace Tarnwick {

namespace {
ReachabilityWatcher* s_instance = nullptr;
}

ReachabilityWatcher* ReachabilityWatcher::instance()
{
    return s_instance;
}

ReachabilityWatcher::ReachabilityWatcher(Data& data, VisualRepresentationData& map, QObject* parent)
    : QObject(parent)
    , m_data(data)
    , m_map(map)
{
    // States change in bursts (a router and everything behind it): one look shortly after the
    // first change takes the burst in, however long results keep coming.
    m_soon.setSingleShot(true);
    m_soon.setInterval(200);
    connect(&m_soon, &QTimer::timeout, this, &ReachabilityWatcher::recompute);
    const auto soon = [this] {
        if (!m_soon.isActive())
            m_soon.start();
    };
    connect(&data, &Data::DeviceEntryChanged, this, [soon](DeviceEntryChangedEvent* pEvent) {
        if (pEvent->newEntry().state != pEvent->oldEntry().state
            || pEvent->newEntry().awaitingFirstResult != pEvent->oldEntry().awaitingFirstResult)
            soon();
    });
    connect(&data, &Data::DeviceAdded, this, soon);
    connect(&data, &Data::DeviceRemoved, this, soon);
    connect(&map, &VisualRepresentationData::ItemConnectionAdded, this, soon);
    connect(&map, &VisualRepresentationData::ItemConnectionRemoved, this, soon);
    connect(&map, &VisualRepresentationData::ItemRemoved, this, soon);
    // The first hop is a setting; a look now and then notices a new one.
    auto* settingWatch = new QTimer(this);
    connect(settingWatch, &QTimer::timeout, this, [this] {
        if (Settings::instance().firstHop != m_lastFirstHop)
            recompute();
    });
    settingWatch->start(1000);
    recompute();
    s_instance = this;
}

ReachabilityWatcher::~ReachabilityWatcher()
{
    if (s_instance == this)
        s_instance = nullptr;
    Reachability::setCurrent({});
}

void ReachabilityWatcher::recompute()
{
    Reachability::Links links;
    for (const VisualRepresentationItemConnection& connection : m_map.connections())
        links << qMakePair(connection.ip1, connection.ip2);
    QHash<QString, bool> up;
    for (const DeviceEntry& entry : m_data.entries())
        up.insert(entry.ip, entry.awaitingFirstResult || entry.state != DeviceStateDisconnected);
    m_lastFirstHop = Settings::instance().firstHop;
    QHash<QString, QString> cutOff = Reachability::cutOff(links, up, m_lastFirstHop);
    bool changed = false;
    for (auto it = up.cbegin(); it != up.cend() && !changed; ++it)
        changed = Reachability::behind(it.key()) != cutOff.value(it.key());
    Reachability::setCurrent(std::move(cutOff));
    if (changed)
        emit reachabilityChanged();
}

} // namespace Tarnwick
