// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "history/SqliteProblem.h"

#include "alert/Alert.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>

#include <chrono>
#include <functional>

class QSqlDatabase;
class QSqlError;
class QTimer;

namespace Tarnwick {

class AlertChannel;

// Alerts on their way out through channels that can fail (a webhook, Apprise), kept in an SQLite
// file ("Outbox.sqlite") until each channel has taken them, so that nothing is lost to a server
// that is down or to a program that ends meanwhile: a new run sends what waits.
//
// Each channel takes its alerts one at a time, oldest first, so that they arrive in the order
// they happened. A failed attempt is tried again after a pause that doubles from the first to the
// longest; an alert that still fails a day after it was posted is given up, and the log says
// which. A delivery leaves the file in one transaction as soon as the channel reports it; a run
// that ends between the two sends that alert once more on the next start (at least once, never
// lost).
//
// The file follows the history's rules: one that is no outbox of ours (damaged, not a database,
// from a later version) is moved aside as "<name>.unreadable" and a new one started; one that is
// merely in the way (locked, full disk, read-only) is kept, and the alerts wait in memory and
// reach it once it can be written again, tried one second doubling to a minute. Sending goes on
// meanwhile. Everything runs on the thread that owns the outbox, without waiting for a lock.
class AlertOutbox : public QObject
{
    Q_OBJECT

public:
    static constexpr int SchemaVersion = 1;

    struct Backoff
    {
        std::chrono::milliseconds first{5000};
        std::chrono::milliseconds longest{600000};
        std::chrono::milliseconds giveUpAfter{std::chrono::hours(24)};
    };
    using Log = std::function<void(const QString& line)>;

    // The outbox takes the channels as its children; Backoff{} gives the usual pauses. Alerts of an earlier run waiting
    // for a channel that is no longer among them are dropped, with a log line each.
    AlertOutbox(const QString& fileName, const QList<AlertChannel*>& channels, Log log, Backoff backoff,
                QObject* parent = nullptr);
    ~AlertOutbox() override;

    // How long a run that ends lets the sends under way finish (finishSending).
    static constexpr std::chrono::milliseconds QuitGrace{5000};

    // Queues the alert for every channel and starts sending.
    void post(const Alert& alert);
    // Starts nothing more, and lets the sends under way finish for up to the grace, so that an
    // alert delivered as the run ends leaves the file and is not sent again by the next run.
    // Runs the thread's events meanwhile (user input excepted).
    void finishSending(std::chrono::milliseconds grace = QuitGrace);
    // Alerts not yet taken, counted once per channel.
    int waiting() const;
    // Why the file cannot be written at the moment, in SQLite's or the system's words; empty
    // while it can.
    QString storingProblem() const { return m_problem; }

signals:
    void delivered(const QString& channel, const Alert& alert);
    void givenUp(const QString& channel, const Alert& alert);

private:
    struct Delivery
    {
        QString id;
        QString channel;
        Alert alert;
        qint64 postedMs = 0; // wall clock, so that the day of trying carries on across runs
        int attempts = 0;
    };
    struct Queue
    {
        AlertChannel* channel = nullptr;
        QList<Delivery> deliveries; // oldest first; the first is the one being sent
        bool sending = false;
        QTimer* retry = nullptr;
        QString lastProblem; // logged once until the channel delivers again
    };
    struct Change
    {
        bool keep; // written (or rewritten) when true, removed when false
        Delivery delivery;
    };
    // What stands in the way of the file, and whether waiting can help.
    using Problem = SqliteProblem;

    bool sending() const;
    void sendNext(const QString& channel);
    void onDelivered(const QString& channel);
    void onFailed(const QString& channel, const QString& why);
    // Writes the changes that wait, opening the file first where needed.
    void store();
    Problem open(QSqlDatabase& db);
    Problem load(QSqlDatabase& db);
    Problem write(QSqlDatabase& db);
    Problem moveAside(const QString& why);
    void keepForLater(const Problem& problem);

    const QString m_fileName;
    const Log m_log;
    const Backoff m_backoff;
    const QString m_connection;
    QHash<QString, Queue> m_queues;
    QList<Change> m_changes; // not yet in the file
    bool m_opened = false;
    bool m_finishing = false;
    QString m_problem;
    QTimer* m_storeRetry;
    std::chrono::milliseconds m_storeDelay{0};
};

} // namespace Tarnwick
