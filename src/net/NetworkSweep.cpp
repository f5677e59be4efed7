// SPDX-License-Identifier: GPL-3.0-or-later
#include "NetworkSweep.h"

#include "NeighbourFinder.h"
#include "ProbeEngine.h"
#include "ScanRange.h"

#include <QFile>

#include <algorithm>
#include <cstring>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>

namespace Tarnwick {

namespace {

// The feed's tick: short enough that a tick's requests leave as a handful, not a burst.
constexpr int FeedTickMs = 5;

QString hardwareText(std::uint64_t hardware)
{
    QByteArray octets(6, Qt::Uninitialized);
    for (int i = 5; i >= 0; --i, hardware >>= 8)
        octets[i] = char(hardware & 0xff);
    return QString::fromLatin1(octets.toHex(':'));
}

QString dotted(std::uint32_t networkOrder)
{
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &networkOrder, text, sizeof text);
    return QString::fromLatin1(text);
}

QString interfaceName(int index)
{
    char name[IF_NAMESIZE] = {};
    return ::if_indextoname(unsigned(index), name) ? QString::fromLocal8Bit(name) : QString::number(index);
}

// The speed the kernel gives a link in Mb/s; -1 where it gives none (virtual links, no carrier).
qint64 linkSpeed(const QString& name)
{
    QFile speed(QStringLiteral("/sys/class/net/%1/speed").arg(name));
    bool ok = false;
    const qint64 value = speed.open(QIODevice::ReadOnly) ? speed.readAll().trimmed().toLongLong(&ok) : -1;
    return ok ? value : -1;
}

// The interface that holds an IPv4 address inside the network although it speaks no ARP
// (loopback, a tunnel); empty when none does.
QString interfaceWithoutArp(const WatchedNetworks::Ipv4Network& network)
{
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return {};
    QString name;
    const quint32 mask = network.length == 0 ? 0 : ~quint32(0) << (32 - network.length);
    for (const ifaddrs* it = list; it && name.isEmpty(); it = it->ifa_next) {
        if (it->ifa_addr && it->ifa_addr->sa_family == AF_INET
            && (ntohl(reinterpret_cast<const sockaddr_in*>(it->ifa_addr)->sin_addr.s_addr) & mask) == network.network)
            name = QString::fromLocal8Bit(it->ifa_name);
    }
    ::freeifaddrs(list);
    return name;
}

} // namespace

NetworkSweep::NetworkSweep(ProbeEngine& engine, const NeighbourFinder* neighbours, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_neighbours(neighbours)
    , m_client(engine.newClient())
{
    m_feedTimer.setTimerType(Qt::PreciseTimer);
    m_feedTimer.setInterval(FeedTickMs);
    connect(&m_feedTimer, &QTimer::timeout, this, &NetworkSweep::feed);
}

NetworkSweep::~NetworkSweep()
{
    m_mailbox.close();
    stop();
}

int NetworkSweep::requestsPerSecond(qint64 megabitsPerSecond)
{
    if (megabitsPerSecond <= 0)
        return MostPerSecond;
    // 1 % of the link.
    const qint64 onePercent = megabitsPerSecond * 10000 / RequestBitsOnWire;
    return int(std::clamp<qint64>(onePercent, 1, MostPerSecond));
}

void NetworkSweep::start(const WatchedNetworks& networks)
{
    if (m_running)
        return;
    m_running = true;
    ++m_round;
    m_result = {};
    m_seenKeys.clear();
    m_targets.clear();
    m_linkIndexes.clear();
    m_linkNames.clear();
    m_linkIntervalsNs.clear();
    m_nextTarget = 0;
    m_nextDueNs = 0;
    m_inFlight = 0;
    m_clock.start();
    if (m_engine.asksByArp()) {
        const LocalLinks links = LocalLinks::current();
        for (const WatchedNetworks::Ipv4Network& network : networks.ipv4())
            planNetwork(network, links);
    } else if (!networks.ipv4().isEmpty()) {
        m_result.skipped << QStringLiteral("No IPv4 network swept: no packet socket for ARP (%1)")
                                .arg(QString::fromLocal8Bit(std::strerror(m_engine.arpSocketError())));
    }
    m_ipv6Pending = m_neighbours && networks.watchesIpv6();
    if (m_ipv6Pending) {
        m_stopIpv6 = false;
        m_ipv6Search = std::thread([this, networks, round = m_round] {
            const NeighbourFinder::Outcome outcome = m_neighbours->find(NeighbourFinder::ListenMs, &m_stopIpv6);
            QList<NetworkSighting> found;
            for (const NeighbourFinder::Neighbour& neighbour : outcome.neighbours)
                if (networks.watchesIpv6Address(neighbour.address))
                    found << NetworkSighting{neighbour.address, neighbour.hardwareAddress, neighbour.interfaceName};
            QMetaObject::invokeMethod(
                this, [this, round, found] { ipv6Found(round, found); }, Qt::QueuedConnection);
        });
    }
    // The first requests leave with the first tick, so that even an empty round ends from the
    // event loop rather than inside start.
    m_feedTimer.start();
}

void NetworkSweep::planNetwork(const WatchedNetworks::Ipv4Network& network, const LocalLinks& links)
{
    const ScanRange hosts = ScanRange::hostsOf(network.network, network.length);
    QSet<std::uint32_t> planned;
    for (const Target& target : m_targets)
        planned.insert(target.address);
    qint64 offLink = 0;
    const std::size_t before = m_targets.size();
    for (quint64 host = hosts.first(); hosts.size() > 0 && host <= hosts.last(); ++host) {
        const std::uint32_t address = htonl(quint32(host));
        const bool onSomeLink = std::any_of(links.links().begin(), links.links().end(), [&](const LocalLinks::Link& l) {
            return (address & l.mask) == (l.address & l.mask);
        });
        // This machine's own addresses, and a link's network and broadcast addresses, go unasked.
        const std::optional<LocalLinks::Link> link = links.linkFor(address);
        if (!onSomeLink)
            ++offLink;
        else if (link && !planned.contains(address)) {
            qsizetype index = m_linkIndexes.indexOf(link->interfaceIndex);
            if (index < 0) {
                index = m_linkIndexes.size();
                m_linkIndexes << link->interfaceIndex;
                m_linkNames << interfaceName(link->interfaceIndex);
                m_linkIntervalsNs << 1000000000
                        / std::max(1, requestsPerSecond(linkSpeed(m_linkNames.last())) - 2 * MostAtOnce);
            }
            m_targets.push_back({address, int(index)});
            planned.insert(address);
        }
    }
    if (m_targets.size() == before && offLink > 0) {
        const QString interface = interfaceWithoutArp(network);
        m_result.skipped << (interface.isEmpty()
                                 ? QStringLiteral("%1 is not directly connected; not swept").arg(network.text())
                                 : QStringLiteral("%1: %2 has no ARP; not swept").arg(network.text(), interface));
        return;
    }
    if (offLink > 0)
        m_result.skipped << QStringLiteral("%1: %2 of its addresses are on no link that speaks ARP; those not swept")
                                .arg(network.text())
                                .arg(offLink);
    m_result.networks << network.text();
}

void NetworkSweep::feed()
{
    const std::int64_t now = m_clock.nsecsElapsed();
    // A late tick makes up for lost time with MostAtOnce requests at most, and no more than that
    // many of ours wait in the engine.
    if (m_nextTarget < m_targets.size())
        m_nextDueNs = std::max(m_nextDueNs, now - MostAtOnce * m_linkIntervalsNs.at(m_targets[m_nextTarget].link));
    std::size_t waiting = m_engine.requestsQueued(m_client);
    while (m_nextTarget < m_targets.size() && m_inFlight < MaxInFlight && m_nextDueNs <= now
           && waiting < std::size_t(MostAtOnce)) {
        ++waiting;
        const Target target = m_targets[m_nextTarget++];
        m_nextDueNs += m_linkIntervalsNs.at(target.link);
        ++m_inFlight;
        ++m_result.requestsSent;
        m_engine.submit(
            target.address, TimeoutMs,
            [mailbox = m_mailbox, round = m_round, target](const ProbeResult& result) {
                mailbox.post(
                    [round, target, result](NetworkSweep& sweep) { sweep.arpAnswered(round, target, result); });
            },
            m_client, ProbeEngine::OnLink::ArpOnly);
    }
    if (m_nextTarget == m_targets.size()) {
        m_feedTimer.stop();
        finishIfDone();
    }
}

void NetworkSweep::arpAnswered(std::uint64_t round, const Target& target, const ProbeResult& result)
{
    if (round != m_round || !m_running)
        return;
    --m_inFlight;
    // No station has a group address (its first octet's lowest bit set, broadcast among them) or
    // none at all: an answer from one is forged or broken, and no device.
    const bool station = result.hardwareAddress != 0 && ((result.hardwareAddress >> 40) & 1) == 0;
    if (result.answered() && station)
        see({dotted(target.address), hardwareText(result.hardwareAddress), m_linkNames.at(target.link)});
    if (m_nextTarget == m_targets.size())
        finishIfDone();
}

void NetworkSweep::ipv6Found(std::uint64_t round, const QList<NetworkSighting>& found)
{
    if (round != m_round || !m_running)
        return;
    joinIpv6Search();
    m_ipv6Pending = false;
    for (const NetworkSighting& sighting : found)
        see(sighting);
    finishIfDone();
}

void NetworkSweep::see(const NetworkSighting& sighting)
{
    const QString key = sighting.address + QLatin1Char(' ') + sighting.hardwareAddress;
    if (m_seenKeys.contains(key))
        return;
    m_seenKeys.insert(key);
    m_result.seen << sighting;
}

void NetworkSweep::finishIfDone()
{
    if (!m_running || m_nextTarget < m_targets.size() || m_inFlight > 0 || m_ipv6Pending)
        return;
    m_running = false;
    m_result.elapsedMs = m_clock.elapsed();
    // IPv4 hosts in address order, then the IPv6 neighbours as they were found.
    const auto ipv4Order = [](const NetworkSighting& sighting) {
        std::uint32_t address = 0;
        return ::inet_pton(AF_INET, sighting.address.toLatin1().constData(), &address) == 1 ? qint64(ntohl(address))
                                                                                            : qint64(1) << 32;
    };
    std::stable_sort(m_result.seen.begin(), m_result.seen.end(),
                     [&](const NetworkSighting& a, const NetworkSighting& b) { return ipv4Order(a) < ipv4Order(b); });
    emit roundFinished(m_result);
}

void NetworkSweep::stop()
{
    m_feedTimer.stop();
    m_engine.withdraw(m_client);
    m_stopIpv6 = true;
    joinIpv6Search();
    m_running = false;
}

void NetworkSweep::joinIpv6Search()
{
    if (m_ipv6Search.joinable())
        m_ipv6Search.join();
}

} // namespace Tarnwick
