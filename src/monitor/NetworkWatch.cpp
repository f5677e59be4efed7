// SPDX-License-Identifier: GPL-3.0-or-later
#include "NetworkWatch.h"

#include "Announcer.h"
#include "MetricsPublisher.h"
#include "data/Announcement.h"
#include "data/NetworkInventory.h"
#include "data/PhraseBook.h"
#include "data/Settings.h"
#include "history/HistoryStore.h"
#include "net/NetworkSweep.h"
#include "net/OuiRegistry.h"
#include "net/ReverseNameLookup.h"
#include "net/WatchedNetworks.h"

#include <QDateTime>
#include <QUuid>

namespace Tarnwick {

namespace {

Announcement::Kind kindOf(InventoryEvent::Kind kind)
{
    switch (kind) {
    case InventoryEvent::Kind::NewDevice:
        return Announcement::Kind::NewDevice;
    case InventoryEvent::Kind::HardwareChanged:
        return Announcement::Kind::HardwareChanged;
    case InventoryEvent::Kind::AnswersForMany:
        break;
    }
    return Announcement::Kind::AnswersForMany;
}

Announcement newsOf(Announcement::Kind kind, const QString& title, const QString& text, const QString& about)
{
    Announcement news;
    news.what = Announcement::What::Alert;
    news.kind = kind;
    news.title = title;
    news.text = text;
    if (!about.isEmpty())
        news.devices << about;
    // Something answered: each of these is heard, not lost.
    news.connected = true;
    return news;
}

} // namespace

NetworkWatch::NetworkWatch(const Settings& settings, NetworkInventory& inventory, NetworkSweep& sweep,
                           Announcer& announcer, Log log, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_inventory(inventory)
    , m_sweep(sweep)
    , m_announcer(announcer)
    , m_log(std::move(log))
    , m_names(new ReverseNameLookup(this))
{
    m_nextRound.setSingleShot(true);
    m_nameWait.setSingleShot(true);
    connect(&m_nextRound, &QTimer::timeout, this, &NetworkWatch::sweep);
    connect(&m_nameWait, &QTimer::timeout, this, &NetworkWatch::tellWaiting);
    connect(&m_sweep, &NetworkSweep::roundFinished, this, &NetworkWatch::roundFinished);
    connect(m_names, &ReverseNameLookup::nameFound, this, &NetworkWatch::nameHeard);
    connect(m_names, &ReverseNameLookup::noNameFound, this,
            [this](const QString& address) { nameHeard(address, QString()); });
    connect(&m_inventory, &NetworkInventory::entriesChanged, this, [this](const QStringList& hardware) {
        if (!m_store)
            return;
        for (const QString& each : hardware)
            if (const InventoryEntry* entry = m_inventory.entry(each))
                m_store->recordInventoryEntry(*entry);
    });
    connect(&m_inventory, &NetworkInventory::entryForgotten, this, [this](const QString& hardware) {
        if (m_store)
            m_store->recordInventoryForgotten(hardware);
    });
    m_settings.onChange(&Settings::networkWatchPeriod, this, [this] { followSettings(); });
    m_settings.onChange(&Settings::networkWatchPrefixes, this, [this] { followSettings(); });
}

NetworkWatch::~NetworkWatch()
{
    stop();
}

void NetworkWatch::keepIn(HistoryStore* store, const QStringList& watchedBefore)
{
    m_store = store;
    m_baseline = watchedBefore;
    m_baseline.sort();
}

void NetworkWatch::start()
{
    m_started = true;
    followSettings();
}

void NetworkWatch::stop()
{
    m_started = false;
    m_nextRound.stop();
    m_sweep.stop();
}

void NetworkWatch::followSettings()
{
    if (!m_started)
        return;
    const int period = m_settings.networkWatchPeriod.load();
    const bool wasOn = m_period > 0;
    m_period = period <= 0 ? 0 : std::max(period, Settings::MinNetworkWatchPeriod);
    if (m_period == 0) {
        m_nextRound.stop();
        m_sweep.stop();
        // Turned off: whenever it is turned on again, its first round is a baseline.
        if (wasOn) {
            m_baseline.clear();
            if (m_store)
                m_store->recordWatchedNetworks({});
            m_log(QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "The network watch is off.")));
        }
        m_toldPeriod = 0;
        return;
    }
    if (m_period != m_toldPeriod)
        m_log(PhraseBook::english(PhraseBook::WatchPeriod, {QString::number(m_period)}));
    m_toldPeriod = m_period;
    // A new period or new networks take effect with a round now.
    m_sweep.stop();
    m_nextRound.start(0);
}

void NetworkWatch::sweep()
{
    QString why;
    const std::optional<WatchedNetworks> networks = WatchedNetworks::parse(m_settings.networkWatchPrefixes, &why);
    if (!networks) {
        if (why != m_refusal)
            m_log(PhraseBook::english(PhraseBook::WatchRefused, {why}));
        m_refusal = why;
        return;
    }
    m_refusal.clear();
    m_sweep.start(*networks);
    m_nextRound.start(std::chrono::seconds(m_period));
}

void NetworkWatch::roundFinished(const NetworkRound& round)
{
    if (m_period == 0)
        return;
    for (const QString& line : round.skipped) {
        if (!m_skippedTold.contains(line)) {
            m_skippedTold.insert(line);
            m_log(line);
        }
    }
    QStringList networks = round.networks;
    networks.sort();
    const bool baseline = networks != m_baseline;
    const QList<InventoryEvent> events = m_inventory.merge(round.seen, QDateTime::currentDateTimeUtc(), baseline);
    QSet<QString> heard;
    for (const NetworkSighting& sighting : round.seen) {
        heard.insert(sighting.hardwareAddress);
        const InventoryEntry* entry = m_inventory.entry(sighting.hardwareAddress);
        if (entry && entry->vendor.isEmpty())
            m_inventory.describe(entry->hardwareAddress, entry->name,
                                 OuiRegistry::shared().vendor(entry->hardwareAddress));
    }
    int joined = 0;
    int changed = 0;
    for (const InventoryEvent& event : events) {
        joined += event.kind == InventoryEvent::Kind::NewDevice ? 1 : 0;
        changed += event.kind == InventoryEvent::Kind::HardwareChanged ? 1 : 0;
    }
    if (m_metrics)
        m_metrics->networkRound(int(heard.size()), joined, changed);
    if (baseline) {
        m_baseline = networks;
        if (m_store)
            m_store->recordWatchedNetworks(networks);
        const QString text = NetworkInventory::baselineText(round.networks, int(heard.size()));
        m_log(text);
        m_announcer.tellNetworkNews(newsOf(Announcement::Kind::NetworkWatched,
                                           QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "Watching the network")), text,
                                           QString()));
    }
    describeNew(withinBound(events));
}

QList<InventoryEvent> NetworkWatch::withinBound(const QList<InventoryEvent>& events)
{
    QList<InventoryEvent> told;
    QHash<InventoryEvent::Kind, int> count;
    for (const InventoryEvent& event : events)
        if (++count[event.kind] <= MaxToldPerRound)
            told << event;
    for (const auto kind : {InventoryEvent::Kind::NewDevice, InventoryEvent::Kind::HardwareChanged}) {
        const int more = count.value(kind) - MaxToldPerRound;
        if (more <= 0)
            continue;
        const QString text = PhraseBook::english(
            kind == InventoryEvent::Kind::NewDevice ? PhraseBook::MoreNewDevices : PhraseBook::MoreHardwareChanged,
            {QString::number(more)});
        m_waitingCounts << newsOf(kindOf(kind), NetworkInventory::titleOf(kind), text, QString());
    }
    return told;
}

void NetworkWatch::describeNew(const QList<InventoryEvent>& events)
{
    // Names are asked once a run for each piece of hardware, the news among them first.
    for (const InventoryEvent& event : events) {
        m_waiting.append(event);
        if (!m_named.contains(event.hardwareAddress)) {
            m_named.insert(event.hardwareAddress);
            m_asking.insert(event.address);
            m_names->lookUp(event.address);
        }
    }
    for (const InventoryEntry& entry : m_inventory.entries()) {
        if (entry.name.isEmpty() && !entry.addresses.isEmpty() && !m_named.contains(entry.hardwareAddress)) {
            m_named.insert(entry.hardwareAddress);
            m_names->lookUp(entry.addresses.first());
        }
    }
    if (m_asking.isEmpty())
        tellWaiting();
    else if (!m_nameWait.isActive())
        m_nameWait.start(NameWait);
}

void NetworkWatch::nameHeard(const QString& address, const QString& name)
{
    if (const InventoryEntry* entry = m_inventory.entry(m_inventory.hardwareAt(address)); entry && !name.isEmpty())
        m_inventory.describe(entry->hardwareAddress, name, entry->vendor);
    if (m_asking.remove(address) && m_asking.isEmpty())
        tellWaiting();
}

void NetworkWatch::tellWaiting()
{
    m_nameWait.stop();
    m_asking.clear();
    const QList<InventoryEvent> waiting = std::exchange(m_waiting, {});
    for (const InventoryEvent& event : waiting)
        tell(event);
    for (const Announcement& counted : std::exchange(m_waitingCounts, {})) {
        m_log(counted.text);
        m_announcer.tellNetworkNews(counted);
    }
    // Told first, then in the history: a run that ends in between tells it again at its first
    // round, under the same identity (receivers drop the copy), rather than never.
    if (m_store && !waiting.isEmpty())
        m_store->flush();
}

void NetworkWatch::tell(const InventoryEvent& event)
{
    const QString text = m_inventory.textOf(event);
    m_log(text);
    Announcement news = newsOf(kindOf(event.kind), NetworkInventory::titleOf(event.kind), text, event.address);
    // The same news has the same identity in every run.
    static const QUuid namespaceOfNews(QStringLiteral("{6f1d1f3e-2a1c-4d55-9d7e-3b8f0c6a2e41}"));
    news.id = QUuid::createUuidV5(namespaceOfNews,
                                  QStringList{QString::number(int(event.kind)), event.address, event.hardwareAddress,
                                              event.previousHardwareAddress}
                                      .join(QLatin1Char('|')))
                  .toString(QUuid::WithoutBraces);
    m_announcer.tellNetworkNews(news);
}

} // namespace Tarnwick
