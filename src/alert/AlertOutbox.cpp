// SPDX-License-Identifier: GPL-3.0-or-later
#include "alert/AlertOutbox.h"

#include "alert/AlertChannel.h"

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

namespace Tarnwick {

namespace {

constexpr std::chrono::milliseconds FirstStoreRetry{1000};
constexpr std::chrono::milliseconds LongestStoreRetry{60000};

// A channel as a log line names it: "Apprise" is a program's name, the webhook is a thing.
QString channelTitle(const QString& channel)
{
    return channel == QLatin1String("apprise") ? QStringLiteral("Apprise") : QStringLiteral("the ") + channel;
}

// A reason ends in a period of its own where the channel wrote a sentence; the line adds one.
QString withoutFullStop(QString why)
{
    while (why.endsWith(QLatin1Char('.')))
        why.chop(1);
    return why;
}

} // namespace

AlertOutbox::AlertOutbox(const QString& fileName, const QList<AlertChannel*>& channels, Log log, Backoff backoff,
                         QObject* parent)
    : QObject(parent)
    , m_fileName(fileName)
    , m_log(std::move(log))
    , m_backoff(backoff)
    , m_connection(QStringLiteral("Outbox-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
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
    m_storeRetry->setSingleShot(true);
    connect(m_storeRetry, &QTimer::timeout, this, &AlertOutbox::store);

    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    store();
    // What an earlier run left goes out once the caller has connected to the signals.
    QTimer::singleShot(0, this, [this] {
        for (auto it = m_queues.cbegin(); it != m_queues.cend(); ++it)
            sendNext(it.key());
    });
}

AlertOutbox::~AlertOutbox()
{
    // The channels go first, so that a send they abort reports to no one.
    for (Queue& queue : m_queues) {
        queue.channel->disconnect(this);
        delete queue.channel;
    }
    if (!m_changes.isEmpty())
        store();
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
}

void AlertOutbox::post(const Alert& alert)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (auto it = m_queues.begin(); it != m_queues.end(); ++it) {
        const Delivery delivery{QUuid::createUuid().toString(QUuid::WithoutBraces), it.key(), alert, now, 0};
        it->deliveries.append(delivery);
        m_changes.append({true, delivery});
    }
    // In the file before the first attempt, so that a run that ends during it sends it again.
    store();
    for (auto it = m_queues.cbegin(); it != m_queues.cend(); ++it)
        sendNext(it.key());
}

int AlertOutbox::waiting() const
{
    int count = 0;
    for (const Queue& queue : m_queues)
        count += int(queue.deliveries.size());
    return count;
}

void AlertOutbox::finishSending(std::chrono::milliseconds grace)
{
    m_finishing = true;
    if (!sending())
        return;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    // Connected after the outbox's own receivers, so that the queue has taken the answer when
    // the loop looks again.
    for (const Queue& queue : std::as_const(m_queues)) {
        connect(queue.channel, &AlertChannel::delivered, &loop, &QEventLoop::quit);
        connect(queue.channel, &AlertChannel::failed, &loop, &QEventLoop::quit);
    }
    limit.start(grace);
    while (sending() && limit.isActive())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
}

bool AlertOutbox::sending() const
{
    return std::any_of(m_queues.cbegin(), m_queues.cend(), [](const Queue& queue) { return queue.sending; });
}

void AlertOutbox::sendNext(const QString& channel)
{
    Queue& queue = m_queues[channel];
    if (m_finishing || queue.sending || queue.deliveries.isEmpty() || queue.retry->isActive())
        return;
    queue.sending = true;
    ++queue.deliveries.first().attempts;
    // A copy: a channel that fails at once reports within send(), and the queue moves on.
    const Alert alert = queue.deliveries.first().alert;
    queue.channel->send(alert);
}

void AlertOutbox::onDelivered(const QString& channel)
{
    Queue& queue = m_queues[channel];
    queue.sending = false;
    const Delivery done = queue.deliveries.takeFirst();
    m_changes.append({false, done});
    store();
    if (!queue.lastProblem.isEmpty()) {
        m_log(tr("Alerts go out through %1 again.").arg(channelTitle(channel)));
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
        m_log(tr("Gave up sending the alert \"%1\" of %2 through %3: %4.")
                  .arg(dropped.alert.text, QDateTime::fromMSecsSinceEpoch(dropped.postedMs).toString(Qt::ISODate),
                       channelTitle(channel), withoutFullStop(why)));
        m_changes.append({false, dropped});
        store();
        emit givenUp(channel, dropped.alert);
        sendNext(channel);
        return;
    }
    if (why != queue.lastProblem) {
        m_log(tr("Alerts for %1 wait: %2. They are tried again; one that cannot be sent for a day is given "
                 "up.")
                  .arg(channelTitle(channel), withoutFullStop(why)));
        queue.lastProblem = why;
    }
    const int doublings = std::min(failed.attempts - 1, 30);
    const auto delay = std::min<qint64>(m_backoff.first.count() << doublings, m_backoff.longest.count());
    queue.retry->start(std::chrono::milliseconds(std::max<qint64>(delay, 0)));
}

void AlertOutbox::store()
{
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
            // What waits in memory is all there is now; the new file gets the whole of it.
            m_changes.clear();
            for (const Queue& queue : std::as_const(m_queues))
                for (const Delivery& delivery : queue.deliveries)
                    m_changes.append({true, delivery});
            problem = openAndWrite();
            // Whatever a new file meets is the disk's doing, not the file's.
            if (problem.kind == Problem::NotOurs)
                problem.kind = Problem::Transient;
        }
    }
    if (problem.kind != Problem::None) {
        keepForLater(problem);
        return;
    }
    m_storeDelay = std::chrono::milliseconds(0);
    if (!m_problem.isEmpty()) {
        m_log(tr("Alerts waiting to be sent are kept in \"%1\" again.").arg(m_fileName));
        m_problem.clear();
    }
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
    if (version == 0) {
        if (!db.transaction())
            return Problem::of(db.lastError());
        if (!query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS waiting (id TEXT PRIMARY KEY, channel TEXT NOT "
                                       "NULL, alert TEXT NOT NULL, posted_ms INTEGER NOT NULL)"))
            || !query.exec(QStringLiteral("PRAGMA user_version = %1").arg(SchemaVersion)) || !db.commit()) {
            const Problem problem = Problem::of(query.lastError().isValid() ? query.lastError() : db.lastError());
            db.rollback();
            return problem;
        }
    }
    return {};
}

AlertOutbox::Problem AlertOutbox::load(QSqlDatabase& db)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT id, channel, alert, posted_ms FROM waiting ORDER BY posted_ms, rowid")))
        return Problem::of(query.lastError());
    QSet<QString> known;
    for (const Queue& queue : std::as_const(m_queues))
        for (const Delivery& delivery : queue.deliveries)
            known.insert(delivery.id);
    for (const Change& change : std::as_const(m_changes))
        known.insert(change.delivery.id);
    QSet<QString> grown;
    while (query.next()) {
        Delivery delivery{query.value(0).toString(), query.value(1).toString(),
                          Alert::fromJson(QJsonDocument::fromJson(query.value(2).toByteArray()).object()),
                          query.value(3).toLongLong(), 0};
        if (known.contains(delivery.id))
            continue;
        if (!m_queues.contains(delivery.channel)) {
            m_log(tr("The alert \"%1\" waited to be sent through the %2, which is no longer set up; it is dropped.")
                      .arg(delivery.alert.text, delivery.channel));
            m_changes.append({false, delivery});
            continue;
        }
        m_queues[delivery.channel].deliveries.append(delivery);
        grown.insert(delivery.channel);
    }
    // Alerts of an earlier run go before those posted while the file could not be read; the
    // one being sent keeps its place.
    for (const QString& channel : std::as_const(grown)) {
        Queue& queue = m_queues[channel];
        std::stable_sort(queue.deliveries.begin() + (queue.sending ? 1 : 0), queue.deliveries.end(),
                         [](const Delivery& a, const Delivery& b) { return a.postedMs < b.postedMs; });
    }
    return {};
}

AlertOutbox::Problem AlertOutbox::write(QSqlDatabase& db)
{
    if (m_changes.isEmpty())
        return {};
    if (!db.transaction())
        return Problem::of(db.lastError());
    QSqlQuery keep(db);
    QSqlQuery remove(db);
    keep.prepare(QStringLiteral("INSERT OR REPLACE INTO waiting (id, channel, alert, posted_ms) VALUES (?, ?, ?, ?)"));
    remove.prepare(QStringLiteral("DELETE FROM waiting WHERE id = ?"));
    for (const Change& change : std::as_const(m_changes)) {
        QSqlQuery& query = change.keep ? keep : remove;
        query.addBindValue(change.delivery.id);
        if (change.keep) {
            query.addBindValue(change.delivery.channel);
            query.addBindValue(QString::fromUtf8(QJsonDocument(change.delivery.alert.toJson()).toJson()));
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
    return {};
}

AlertOutbox::Problem AlertOutbox::moveAside(const QString& why)
{
    QString aside;
    if (const Problem problem = Problem::moveAside(m_fileName, why, aside); problem.kind != Problem::None)
        return problem;
    m_log(tr("The outbox \"%1\" could not be used (%2); it was moved aside as \"%3\" and a new one started.")
              .arg(m_fileName, why, aside));
    return {};
}

void AlertOutbox::keepForLater(const Problem& problem)
{
    if (problem.why != m_problem)
        m_log(tr("Alerts waiting to be sent cannot be kept in \"%1\" for now (%2); they wait in memory, and the file "
                 "is tried again.")
                  .arg(m_fileName, problem.why));
    m_problem = problem.why;
    m_storeDelay = m_storeDelay.count() == 0 ? FirstStoreRetry : std::min(m_storeDelay * 2, LongestStoreRetry);
    m_storeRetry->start(m_storeDelay);
}

} // namespace Tarnwick
