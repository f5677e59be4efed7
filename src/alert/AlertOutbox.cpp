// SPDX-License-Identifier: GPL-3.0-or-later
#include "alert/AlertOutbox.h"

#include "alert/AlertChannel.h"
#include "data/PhraseBook.h"

#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>
#include <QUuid>

#include <algorithm>
#include <optional>

namespace Tarnwick {

namespace {

constexpr std::chrono::milliseconds FirstStoreRetry{1000};
constexpr std::chrono::milliseconds LongestStoreRetry{60000};

// A reason ends in a period of its own where the channel wrote a sentence; the line adds one.
QString withoutFullStop(QString why)
{
    while (why.endsWith(QLatin1Char('.')))
        why.chop(1);
    return why;
}

// A row's alert, or nothing when its text is not one (damaged, written by hand).
std::optional<Alert> alertOf(const QByteArray& text, const QString& rowId)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    Alert alert = Alert::fromJson(document.object());
    if (alert.title.isEmpty() && alert.text.isEmpty())
        return std::nullopt;
    // Written before alerts had ids: the row's own stays the same across runs.
    if (alert.id.isEmpty())
        alert.id = rowId;
    return alert;
}

} // namespace

AlertOutbox::AlertOutbox(const QString& fileName, const QList<AlertChannel*>& channels, const QStringList& paused,
                         Log log, Backoff backoff, QObject* parent)
    : QObject(parent)
    , m_fileName(fileName)
    , m_log(std::move(log))
    , m_backoff(backoff)
    , m_connection(QStringLiteral("Outbox-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
    , m_storeSoon(new QTimer(this))
    , m_storeRetry(new QTimer(this))
{
    for (AlertChannel* channel : channels) {
        const QString name = channel->name();
        channel->setParent(this);
        Queue& queue = m_queues[name];
        queue.channel = channel;
        queue.retry = new QTimer(this);
        queue.retry->setSingleShot(true);
        connect(queue.retry, &QTimer::timeout, this, [this, name] { sendNext(name); });
        connect(channel, &AlertChannel::delivered, this, [this, name] { onDelivered(name); });
        connect(channel, &AlertChannel::failed, this, [this, name](const QString& why) { onFailed(name, why); });
    }
    for (const QString& name : paused)
        m_queues.insert(name, Queue());
    m_storeSoon->setSingleShot(true);
    connect(m_storeSoon, &QTimer::timeout, this, &AlertOutbox::store);
    m_storeRetry->setSingleShot(true);
    connect(m_storeRetry, &QTimer::timeout, this, &AlertOutbox::store);

    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    m_finishing = true; // nothing goes out before the caller has connected to the signals
    store();
    m_finishing = false;
    QTimer::singleShot(0, this, &AlertOutbox::sendAll);
}

AlertOutbox::~AlertOutbox()
{
    m_finishing = true;
    // The channels go first, so that a send they abort reports to no one.
    for (Queue& queue : m_queues) {
        if (!queue.channel)
            continue;
        queue.channel->disconnect(this);
        delete queue.channel;
    }
    if (!m_changes.isEmpty())
        store();
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
}

QString AlertOutbox::channelTitle(const QString& channel)
{
    // "Apprise" is a program's name, the webhook and the command are things.
    if (channel == QLatin1String("apprise"))
        return QStringLiteral("Apprise");
    if (channel == QLatin1String("webhook"))
        return QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "the webhook"));
    if (channel == QLatin1String("command"))
        return QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "the command"));
    return QStringLiteral("the ") + channel;
}

QString AlertOutbox::droppedText(int count)
{
    return PhraseBook::english(PhraseBook::AlertsDropped, {QString::number(count)});
}

void AlertOutbox::post(Alert alert)
{
    if (alert.id.isEmpty())
        alert.id = Alert::newId();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (auto it = m_queues.begin(); it != m_queues.end(); ++it) {
        Queue& queue = *it;
        if (queue.channel && queue.channel->takesLatestOfGroup() && !alert.address.isEmpty()) {
            // The waiting alert of the group (not the one under way) gives way to this one.
            for (qsizetype i = queue.sending ? 1 : 0; i < queue.deliveries.size(); ++i) {
                if (queue.deliveries.at(i).alert.groupKey == alert.groupKey) {
                    change(false, queue.deliveries.takeAt(i));
                    break;
                }
            }
        }
        const Delivery delivery{Alert::newId(), it.key(), alert, now, 0};
        if (holdsInMemory(queue))
            queue.deliveries.append(delivery);
        else
            ++queue.inFile;
        change(true, delivery);
        keepWithinBound(it.key());
    }
    // In the file before the first attempt, so that a run that ends during it sends it again;
    // while the file cannot be written, sending goes on without it.
    if (m_storeRetry->isActive())
        sendAll();
    else
        storeSoon();
}

bool AlertOutbox::holdsInMemory(const Queue& queue) const
{
    // Where the file cannot take them, memory is all there is.
    if (!m_opened || !m_problem.isEmpty())
        return true;
    return queue.inFile == 0 && queue.deliveries.size() < PageSize;
}

void AlertOutbox::keepWithinBound(const QString& channel)
{
    Queue& queue = m_queues[channel];
    const qsizetype first = queue.sending ? 1 : 0;
    int dropped = 0;
    qint64 oldest = 0;
    while (queue.deliveries.size() + queue.inFile > MaxWaiting) {
        qsizetype at = first;
        while (at < queue.deliveries.size() && queue.deliveries.at(at).id == queue.foldId)
            ++at;
        // The oldest wait in memory; with none there beyond the one under way, the bound waits for the next page.
        if (at >= queue.deliveries.size())
            break;
        const Delivery gone = queue.deliveries.takeAt(at);
        if (dropped++ == 0)
            oldest = gone.postedMs;
        change(false, gone);
    }
    if (dropped == 0)
        return;
    fold(channel, dropped, oldest);
}

void AlertOutbox::fold(const QString& channel, int dropped, qint64 oldest)
{
    Queue& queue = m_queues[channel];
    const qsizetype first = queue.sending ? 1 : 0;
    const bool folding = !queue.foldId.isEmpty() && queue.deliveries.size() > first
        && queue.deliveries.at(first).id == queue.foldId;
    if (!folding) {
        Alert alert;
        alert.title = QStringLiteral("Tarnwick");
        alert.kind = Alert::Kinds::Dropped;
        alert.id = Alert::newId();
        queue.foldId = Alert::newId();
        queue.folded = 0;
        // Just before the oldest it stands for, so that it goes first among those of its time.
        queue.deliveries.insert(first, {queue.foldId, channel, alert, oldest - 1, 0});
        m_log(PhraseBook::english(PhraseBook::AlertsOverBound, {QString::number(MaxWaiting), channelTitle(channel)}));
    }
    Delivery& delivery = queue.deliveries[first];
    queue.folded += dropped;
    delivery.alert.text = droppedText(queue.folded);
    delivery.alert.time = QDateTime::currentDateTimeUtc();
    change(true, delivery);
}

int AlertOutbox::waiting() const
{
    qint64 count = 0;
    for (const Queue& queue : m_queues)
        count += queue.deliveries.size() + queue.inFile;
    return int(count);
}

void AlertOutbox::finishSending(std::chrono::milliseconds grace)
{
    m_finishing = true;
    if (sending()) {
        QEventLoop loop;
        QTimer limit;
        limit.setSingleShot(true);
        connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        // Connected after the outbox's own receivers, so that the queue has taken the answer when
        // the loop looks again.
        for (const Queue& queue : std::as_const(m_queues)) {
            if (!queue.channel)
                continue;
            connect(queue.channel, &AlertChannel::delivered, &loop, &QEventLoop::quit);
            connect(queue.channel, &AlertChannel::failed, &loop, &QEventLoop::quit);
        }
        limit.start(grace);
        while (sending() && limit.isActive())
            loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    store();
    // What the file could not take is lost with the run: said so, not promised for the next.
    QHash<QString, qint64> unwritten;
    for (const Change& change : std::as_const(m_changes))
        if (change.keep)
            ++unwritten[change.delivery.channel];
    for (auto it = m_queues.cbegin(); it != m_queues.cend(); ++it) {
        const qint64 lost = unwritten.value(it.key());
        if (const qint64 left = it->deliveries.size() + it->inFile - lost; left > 0)
            m_log(PhraseBook::english(PhraseBook::AlertsWaitForNextRun, {channelTitle(it.key())}, int(left)));
        if (lost > 0)
            m_log(PhraseBook::english(PhraseBook::AlertsLostAtEnd, {channelTitle(it.key()), m_fileName, m_problem},
                                      int(lost)));
    }
}

bool AlertOutbox::sending() const
{
    return std::any_of(m_queues.cbegin(), m_queues.cend(), [](const Queue& queue) { return queue.sending; });
}

void AlertOutbox::sendAll()
{
    for (auto it = m_queues.cbegin(); it != m_queues.cend(); ++it)
        sendNext(it.key());
}

void AlertOutbox::sendNext(const QString& channel)
{
    Queue& queue = m_queues[channel];
    if (m_finishing || !queue.channel || queue.sending || queue.deliveries.isEmpty() || queue.retry->isActive())
        return;
    queue.sending = true;
    ++queue.deliveries.first().attempts;
    if (queue.deliveries.first().id == queue.foldId)
        queue.foldId.clear(); // under way: what is dropped from now on is counted anew
    // A copy: a channel that fails at once reports within send(), and the queue moves on.
    const Alert alert = queue.deliveries.first().alert;
    queue.channel->send(alert);
}

void AlertOutbox::onDelivered(const QString& channel)
{
    Queue& queue = m_queues[channel];
    queue.sending = false;
    const Delivery done = queue.deliveries.takeFirst();
    change(false, done);
    storeSoon();
    if (!queue.lastProblem.isEmpty()) {
        m_log(PhraseBook::english(PhraseBook::AlertsGoOutAgain, {channelTitle(channel)}));
        queue.lastProblem.clear();
    }
    emit delivered(channel, done.alert);
    sendNext(channel);
}

void AlertOutbox::onFailed(const QString& channel, const QString& why)
{
    Queue& queue = m_queues[channel];
    queue.sending = false;
    const Delivery& failed = queue.deliveries.first();
    if (QDateTime::currentMSecsSinceEpoch() - failed.postedMs >= m_backoff.giveUpAfter.count()) {
        const Delivery dropped = queue.deliveries.takeFirst();
        m_log(PhraseBook::english(PhraseBook::AlertGivenUp,
                                  {dropped.alert.text,
                                   QDateTime::fromMSecsSinceEpoch(dropped.postedMs).toString(Qt::ISODate),
                                   channelTitle(channel), withoutFullStop(why)}));
        change(false, dropped);
        storeSoon();
        emit givenUp(channel, dropped.alert);
        sendNext(channel);
        return;
    }
    if (why != queue.lastProblem) {
        m_log(PhraseBook::english(PhraseBook::AlertsWaitForChannel, {channelTitle(channel), withoutFullStop(why)}));
        queue.lastProblem = why;
    }
    const int doublings = std::min(failed.attempts - 1, 30);
    const auto delay = std::min<qint64>(m_backoff.first.count() << doublings, m_backoff.longest.count());
    queue.retry->start(std::chrono::milliseconds(std::max<qint64>(delay, 0)));
}

void AlertOutbox::change(bool keep, const Delivery& delivery)
{
    // One change per row and batch: the latest says what becomes of it.
    if (const auto at = m_changeOf.constFind(delivery.id); at != m_changeOf.cend()) {
        m_changes[*at] = {keep, delivery};
        return;
    }
    m_changeOf.insert(delivery.id, m_changes.size());
    m_changes.append({keep, delivery});
}

void AlertOutbox::storeSoon()
{
    if (m_storeSoon->isActive() || m_storeRetry->isActive())
        return;
    const qint64 gap = std::max<qint64>(BatchGap.count(), m_lastStoreTookMs * (SendingPerWriting + 1));
    const qint64 since = m_lastStore.isValid() ? m_lastStore.elapsed() : gap;
    m_storeSoon->start(std::chrono::milliseconds(std::max<qint64>(0, gap - since)));
}

void AlertOutbox::store()
{
    m_storeSoon->stop();
    m_lastStore.start();
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    const auto openAndWrite = [&] {
        if (!m_opened) {
            Problem problem = open(db);
            if (problem.kind == Problem::None)
                problem = load(db);
            if (problem.kind != Problem::None) {
                db.close();
                return problem;
            }
            m_opened = true;
        }
        return write(db);
    };
    Problem problem = openAndWrite();
    if (problem.kind == Problem::NotOurs) {
        db.close();
        m_opened = false;
        problem = moveAside(problem.why);
        if (problem.kind == Problem::None) {
            // What waits in memory, and what was on its way to the file, is all there is now; the
            // new file gets the whole of it.
            QList<Change> pending;
            for (const Change& each : std::as_const(m_changes))
                if (each.keep)
                    pending.append(each);
            m_changes.clear();
            m_changeOf.clear();
            for (Queue& queue : m_queues) {
                queue.inFile = 0;
                for (const Delivery& delivery : std::as_const(queue.deliveries))
                    change(true, delivery);
            }
            for (const Change& each : std::as_const(pending)) {
                if (!m_changeOf.contains(each.delivery.id)) {
                    ++m_queues[each.delivery.channel].inFile;
                    change(true, each.delivery);
                }
            }
            problem = openAndWrite();
            // Whatever a new file meets is the disk's doing, not the file's.
            if (problem.kind == Problem::NotOurs)
                problem.kind = Problem::Transient;
        }
    }
    m_lastStoreTookMs = m_lastStore.elapsed();
    if (problem.kind != Problem::None) {
        keepForLater(problem);
        sendAll();
        return;
    }
    m_storeDelay = std::chrono::milliseconds(0);
    if (!m_problem.isEmpty()) {
        m_log(PhraseBook::english(PhraseBook::OutboxKeptAgain, {m_fileName}));
        m_problem.clear();
    }
    refill();
    sendAll();
}

AlertOutbox::Problem AlertOutbox::open(QSqlDatabase& db)
{
    db.setDatabaseName(m_fileName);
    // A file locked by another program fails at once and is tried again later, rather than
    // holding up the thread the outbox runs on.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
    if (!db.open())
        return Problem::of(db.lastError());
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA quick_check")) || !query.next())
        return Problem::of(query.lastError());
    if (query.value(0).toString() != QLatin1String("ok"))
        return {Problem::NotOurs, QStringLiteral("damaged: %1").arg(query.value(0).toString())};
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return Problem::of(query.lastError());
    const int version = query.value(0).toInt();
    if (version > SchemaVersion)
        return {Problem::NotOurs, QStringLiteral("written by a later version of Tarnwick")};
    // The table of rows kept aside and the index pages are read by came later within the same
    // version: a file without them gets them, and an earlier Tarnwick reads it as before. A file
    // that has them is only read here, so that a read-only one still gives its alerts.
    if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE name IN ('waiting', 'unreadable', "
                                   "'waiting_order')"))
        || !query.next())
        return Problem::of(query.lastError());
    if (query.value(0).toInt() == 3)
        return {};
    if (!db.transaction())
        return Problem::of(db.lastError());
    const auto fail = [&] {
        const Problem problem = Problem::of(query.lastError().isValid() ? query.lastError() : db.lastError());
        db.rollback();
        return problem;
    };
    if (!query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS waiting (id TEXT PRIMARY KEY, channel TEXT NOT NULL, "
                                   "alert TEXT NOT NULL, posted_ms INTEGER NOT NULL)"))
        || !query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS unreadable (id TEXT PRIMARY KEY, channel TEXT, "
                                      "alert TEXT, posted_ms INTEGER)"))
        || !query.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS waiting_order ON waiting (channel, posted_ms)")))
        return fail();
    if (version == 0 && !query.exec(QStringLiteral("PRAGMA user_version = %1").arg(SchemaVersion)))
        return fail();
    if (!db.commit())
        return fail();
    return {};
}

AlertOutbox::Problem AlertOutbox::load(QSqlDatabase& db)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT channel, COUNT(*) FROM waiting GROUP BY channel")))
        return Problem::of(query.lastError());
    QHash<QString, qint64> counts;
    while (query.next())
        counts.insert(query.value(0).toString(), query.value(1).toLongLong());
    query.finish();
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (m_queues.contains(it.key()))
            continue;
        // Gone with its setting: nothing would ever send them.
        if (!query.prepare(QStringLiteral("DELETE FROM waiting WHERE channel = ?")))
            return Problem::of(query.lastError());
        query.addBindValue(it.key());
        if (!query.exec())
            return Problem::of(query.lastError());
        m_log(PhraseBook::english(PhraseBook::AlertsOfChannelGone, {it.key()}, int(it.value())));
    }
    for (auto it = m_queues.begin(); it != m_queues.end(); ++it) {
        Queue& queue = *it;
        const qint64 earlier = counts.value(it.key());
        if (earlier == 0)
            continue;
        // Alerts of an earlier run go before those posted while the file could not be read, which
        // wait behind them on their way to the file; the one being sent keeps its place.
        const qsizetype first = queue.sending ? 1 : 0;
        queue.inFile += queue.deliveries.size() - first;
        queue.deliveries.resize(first);
        // A file with more than a channel may keep (an earlier version's, or one written by hand)
        // is cut to the bound as alerts posted are: the oldest make way for one that counts them.
        const qint64 excess = earlier + queue.inFile - MaxWaiting;
        qint64 dropped = 0;
        qint64 oldest = 0;
        if (excess > 0) {
            query.prepare(QStringLiteral("SELECT MIN(posted_ms) FROM waiting WHERE channel = ?"));
            query.addBindValue(it.key());
            if (!query.exec() || !query.next())
                return Problem::of(query.lastError());
            oldest = query.value(0).toLongLong();
            // An alert that already counts dropped ones stays, and counts these too.
            query.prepare(QStringLiteral("DELETE FROM waiting WHERE id IN (SELECT id FROM waiting WHERE channel = ? "
                                         "AND alert NOT LIKE '%\"kind\":\"dropped\"%' ORDER BY posted_ms, rowid "
                                         "LIMIT ?)"));
            query.addBindValue(it.key());
            query.addBindValue(std::min(excess, earlier));
            if (!query.exec())
                return Problem::of(query.lastError());
            dropped = query.numRowsAffected();
        }
        queue.inFile += earlier - dropped;
        if (const Problem problem = readPage(db, it.key()); problem.kind != Problem::None)
            return problem;
        if (queue.deliveries.size() > first && queue.deliveries.at(first).alert.kind == Alert::Kinds::Dropped) {
            queue.foldId = queue.deliveries.at(first).id;
            queue.folded = queue.deliveries.at(first).alert.text.section(QLatin1Char(' '), 0, 0).toInt();
        }
        if (dropped > 0)
            fold(it.key(), int(dropped), oldest);
    }
    return {};
}

AlertOutbox::Problem AlertOutbox::readPage(QSqlDatabase& db, const QString& channel)
{
    Queue& queue = m_queues[channel];
    if (queue.inFile <= 0 || queue.deliveries.size() >= PageSize)
        return {};
    QSet<QString> held;
    for (const Delivery& delivery : std::as_const(queue.deliveries))
        held.insert(delivery.id);
    QSqlQuery query(db);
    query.setForwardOnly(true);
    // No alert of ours comes near the bound; a longer row is someone else's and is not read whole.
    if (!query.prepare(QStringLiteral("SELECT id, CASE WHEN length(alert) <= %1 THEN alert END, posted_ms FROM "
                                      "waiting WHERE channel = ? ORDER BY posted_ms, rowid")
                           .arg(MaxRowBytes)))
        return Problem::of(query.lastError());
    query.addBindValue(channel);
    if (!query.exec())
        return Problem::of(query.lastError());
    QStringList unreadable;
    bool more = false;
    while ((more = query.next()) && queue.deliveries.size() < PageSize) {
        const QString id = query.value(0).toString();
        if (held.contains(id))
            continue;
        --queue.inFile;
        if (const std::optional<Alert> alert = alertOf(query.value(1).toByteArray(), id))
            queue.deliveries.append({id, channel, *alert, query.value(2).toLongLong(), 0});
        else
            unreadable << id;
    }
    // The count was a guess where rows went while this run held them (another program's doing).
    if (!more)
        queue.inFile = 0;
    queue.inFile = std::max<qint64>(queue.inFile, 0);
    query.finish();
    if (unreadable.isEmpty())
        return {};
    QSqlQuery aside(db);
    for (const QString& id : std::as_const(unreadable)) {
        aside.prepare(QStringLiteral("INSERT OR REPLACE INTO unreadable SELECT id, channel, alert, posted_ms FROM "
                                     "waiting WHERE id = ?"));
        aside.addBindValue(id);
        if (!aside.exec())
            return Problem::of(aside.lastError());
        aside.prepare(QStringLiteral("DELETE FROM waiting WHERE id = ?"));
        aside.addBindValue(id);
        if (!aside.exec())
            return Problem::of(aside.lastError());
    }
    if (m_keptAside == 0)
        m_log(PhraseBook::english(PhraseBook::OutboxKeptAside, {m_fileName}));
    m_keptAside += unreadable.size();
    return {};
}

void AlertOutbox::refill()
{
    if (!m_opened || !m_changes.isEmpty())
        return;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    for (auto it = m_queues.cbegin(); it != m_queues.cend(); ++it) {
        if (it->inFile <= 0 || it->deliveries.size() > PageSize / 2)
            continue;
        if (const Problem problem = readPage(db, it.key()); problem.kind != Problem::None) {
            // Read again on the next occasion; a file that is no longer ours shows on the next write.
            if (problem.why != m_problem)
                m_log(PhraseBook::english(PhraseBook::OutboxUnreadableForNow, {m_fileName, problem.why}));
            return;
        }
    }
}

AlertOutbox::Problem AlertOutbox::write(QSqlDatabase& db)
{
    if (m_changes.isEmpty())
        return {};
    if (!db.transaction())
        return Problem::of(db.lastError());
    QSqlQuery keep(db);
    QSqlQuery remove(db);
    // An upsert, not a replace: a row rewritten keeps its place among those of its time.
    keep.prepare(QStringLiteral("INSERT INTO waiting (id, channel, alert, posted_ms) VALUES (?, ?, ?, ?) "
                                "ON CONFLICT (id) DO UPDATE SET alert = excluded.alert"));
    remove.prepare(QStringLiteral("DELETE FROM waiting WHERE id = ?"));
    for (const Change& change : std::as_const(m_changes)) {
        QSqlQuery& query = change.keep ? keep : remove;
        query.addBindValue(change.delivery.id);
        if (change.keep) {
            query.addBindValue(change.delivery.channel);
            query.addBindValue(
                QString::fromUtf8(QJsonDocument(change.delivery.alert.toJson()).toJson(QJsonDocument::Compact)));
            query.addBindValue(change.delivery.postedMs);
        }
        if (!query.exec()) {
            const Problem problem = Problem::of(query.lastError());
            db.rollback();
            return problem;
        }
    }
    if (!db.commit()) {
        const Problem problem = Problem::of(db.lastError());
        db.rollback();
        return problem;
    }
    m_changes.clear();
    m_changeOf.clear();
    return {};
}

AlertOutbox::Problem AlertOutbox::moveAside(const QString& why)
{
    QString aside;
    if (const Problem problem = Problem::moveAside(m_fileName, why, aside); problem.kind != Problem::None)
        return problem;
    m_log(PhraseBook::english(PhraseBook::OutboxMovedAside, {m_fileName, why, aside}));
    return {};
}

void AlertOutbox::keepForLater(const Problem& problem)
{
    if (problem.why != m_problem)
        m_log(PhraseBook::english(PhraseBook::OutboxInMemory, {m_fileName, problem.why}));
    m_problem = problem.why;
    m_storeDelay = m_storeDelay.count() == 0 ? FirstStoreRetry : std::min(m_storeDelay * 2, LongestStoreRetry);
    m_storeRetry->start(m_storeDelay);
}

} // namespace Tarnwick
