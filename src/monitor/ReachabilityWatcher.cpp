// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReachabilityWatcher.h"

#include "data/Data.h"
#include "data/DeviceEntryChangedEvent.h"
#include "data/DevicePaths.h"
#include "data/DeviceRemovedEvent.h"
#include "data/PhraseBook.h"
#include "data/Settings.h"
#include "data/VisualRepresentationData.h"

#include <algorithm>
#include <functional>

namespace Tarnwick {

namespace {

// Where the ways begin when no first hop is set: no device's address, since it has spaces.
const QString ThisComputer = QStringLiteral("this computer");

} // namespace

ReachabilityWatcher::ReachabilityWatcher(Data& data, VisualRepresentationData& map, const Settings& settings,
                                         const DevicePaths* paths, QObject* parent)
    : ReachabilityView(parent)
    , m_data(data)
    , m_map(map)
    , m_settings(settings)
    , m_paths(paths)
{
    // States change in bursts (a router and everything behind it): one look shortly after the
    // first change takes the burst in, however long results keep coming.
    m_soon.setSingleShot(true);
    m_soon.setInterval(200);
    connect(&m_soon, &QTimer::timeout, this, &ReachabilityWatcher::recompute);
    data.connectReceiver(this);
    const auto soon = [this] {
        m_learntKnown = false;
        lookSoon();
    };
    connect(&map, &VisualRepresentationData::ItemConnectionAdded, this, soon);
    connect(&map, &VisualRepresentationData::ItemConnectionRemoved, this, soon);
    connect(&map, &VisualRepresentationData::ItemRemoved, this, soon);
    if (m_paths)
        connect(m_paths, &DevicePaths::pathsChanged, this, soon);
    m_settings.onChange(&Settings::firstHop, this, [this] {
        m_learntKnown = false;
        recompute();
    });
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
    if (after.ip != before.ip) {
        m_heard.remove(before.ip);
        m_learntKnown = false;
    } else
        heard(after.ip, after.lastProbe.heard());
    if (after.state != before.state || after.awaitingFirstResult != before.awaitingFirstResult)
        lookSoon();
}

void ReachabilityWatcher::DeviceAdded(DeviceAddedEvent*)
{
    m_learntKnown = false;
    lookSoon();
}

void ReachabilityWatcher::DeviceRemoved(DeviceRemovedEvent* pEvent)
{
    m_heard.remove(pEvent->entry().ip);
    m_learntKnown = false;
    lookSoon();
}

QString ReachabilityWatcher::behind(const QString& ip) const
{
    return m_cutOff.value(ip);
}

QString ReachabilityWatcher::behindText(const QString& ip) const
{
    const QString failed = behind(ip);
    if (failed.isEmpty() || m_data.contains(failed))
        return failed;
    return PhraseBook::english(PhraseBook::NotInYourList, {failed});
}

int ReachabilityWatcher::countBehind(const QString& ip) const
{
    return int(std::count(m_cutOff.cbegin(), m_cutOff.cend(), ip));
}

void ReachabilityWatcher::heard(const QString& ip, bool answered)
{
    // A root that comes later starts from results unordered, as every device does at start.
    if (!groupsFailures())
        return;
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
    return links + learntLinks();
}

const Reachability::Links& ReachabilityWatcher::learntLinks() const
{
    if (m_learntKnown)
        return m_learnt;
    m_learntKnown = true;
    m_towardsRootKnown = false;
    m_learnt.clear();
    if (!m_paths || m_paths->all().isEmpty())
        return m_learnt;
    QSet<QString> drawn;
    for (const VisualRepresentationItemConnection& connection : m_map.connections())
        drawn << connection.ip1 << connection.ip2;
    QStringList devices;
    for (auto it = m_paths->all().cbegin(); it != m_paths->all().cend(); ++it)
        if (!drawn.contains(it.key()) && m_data.contains(it.key()))
            devices << it.key();
    const QString from = m_settings.firstHop.isEmpty() ? ThisComputer : m_settings.firstHop;
    m_learnt = m_paths->learntLinks(
        devices, [this](const QString& ip) { return m_data.contains(ip); }, from);
    return m_learnt;
}

QString ReachabilityWatcher::root() const
{
    return !m_settings.firstHop.isEmpty() ? m_settings.firstHop : learntLinks().isEmpty() ? QString() : ThisComputer;
}

bool ReachabilityWatcher::groupsFailures() const
{
    return !root().isEmpty();
}

void ReachabilityWatcher::knowTheWaysOut() const
{
    learntLinks(); // brings the learnt links, and so whether the ways out are known, up to date
    if (m_towardsRootKnown)
        return;
    m_towardsRootKnown = true;
    m_towardsRoot.clear();
    m_awayFromRoot.clear();
    const QHash<QString, QStringList> neighbours = Reachability::neighboursOf(links());
    const QString from = root();
    QList<QString> open{from};
    QSet<QString> reached{from};
    for (qsizetype next = 0; next < open.size(); ++next) {
        for (const QString& neighbour : neighbours.value(open.at(next))) {
            if (reached.contains(neighbour))
                continue;
            reached.insert(neighbour);
            m_towardsRoot.insert(neighbour, open.at(next));
            m_awayFromRoot[open.at(next)] << neighbour;
            open.append(neighbour);
        }
    }
}

QStringList ReachabilityWatcher::wayBack(const QString& ip) const
{
    knowTheWaysOut();
    QStringList way;
    for (QString at = m_towardsRoot.value(ip); !at.isEmpty() && at != ThisComputer; at = m_towardsRoot.value(at))
        way << at;
    return way;
}

QStringList ReachabilityWatcher::wayOn(const QString& ip, int most) const
{
    knowTheWaysOut();
    QStringList on = m_awayFromRoot.value(ip);
    for (qsizetype next = 0; next < on.size() && on.size() < most; ++next)
        on += m_awayFromRoot.value(on.at(next));
    return on.mid(0, most);
}

QHash<QString, bool> ReachabilityWatcher::statesOnTheWay(const Reachability::Links& links,
                                                         const QSet<QString>& slow) const
{
    // Only the first hop and the devices joined on the map or by a path can be on anyone's way:
    // their states are all the look needs, so it costs the same for a list of ten or 100,000
    // without lines or paths.
    QHash<QString, bool> fine;
    QHash<QString, QStringList> below; // routers off the list: what hangs from each
    const auto note = [&](const QString& ip) {
        if (fine.contains(ip) || ip == ThisComputer)
            return;
        const DeviceEntry entry = m_data.entry(ip);
        if (!entry.ip.isEmpty())
            fine.insert(ip,
                        !slow.contains(ip) && (entry.awaitingFirstResult || entry.state != DeviceStateDisconnected));
    };
    if (root().isEmpty())
        return fine;
    note(root());
    for (const auto& [a, b] : links) {
        note(a);
        note(b);
        if (!m_data.contains(a) && a != root())
            below[a] << b;
    }
    // A router off the list is in trouble when at least two listed devices hang from it (through
    // other such routers, too) and every one of them is: the way to them fails there, not at
    // each of them. With one alone, nothing tells the two apart.
    QHash<QString, QPair<int, int>> counted; // router: devices below, of them fine
    std::function<QPair<int, int>(const QString&)> count = [&](const QString& router) {
        if (const auto known = counted.constFind(router); known != counted.cend())
            return *known;
        counted.insert(router, {0, 0}); // a loop of learnt ways counts nothing twice
        QPair<int, int> sum{0, 0};
        for (const QString& device : below.value(router)) {
            if (below.contains(device)) {
                const QPair<int, int> under = count(device);
                sum.first += under.first;
                sum.second += under.second;
            } else if (fine.contains(device)) {
                sum.first += 1;
                sum.second += fine.value(device) ? 1 : 0;
            }
        }
        counted.insert(router, sum);
        return sum;
    };
    for (auto it = below.cbegin(); it != below.cend(); ++it) {
        const QPair<int, int> devices = count(it.key());
        fine.insert(it.key(), devices.first < 2 || devices.second > 0);
    }
    return fine;
}

QHash<QString, QString> ReachabilityWatcher::slowBehind(const QSet<QString>& slow) const
{
    // The same reading of the map as for failures, with slow devices counted as in trouble too.
    const Reachability::Links links = this->links();
    QHash<QString, QString> behind = Reachability::cutOff(links, statesOnTheWay(links, slow), root());
    behind.removeIf([&slow](const auto& device) { return !slow.contains(device.key()); });
    return behind;
}

void ReachabilityWatcher::recompute()
{
    const Reachability::Links links = this->links();
    QHash<QString, QString> cutOff = Reachability::cutOff(links, statesOnTheWay(links, {}), root(), m_heard);
    const bool changed = cutOff != m_cutOff;
    m_cutOff = std::move(cutOff);
    if (changed)
        emit reachabilityChanged();
}

} // namespace Tarnwick
