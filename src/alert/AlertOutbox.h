// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "history/SqliteProblem.h"

#include "alert/Alert.h"

#include <QElapsedTimer>
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

// Alerts on their way out through channels that can fail (the command, a webhook, Apprise),
// kept in an SQLite file ("Outbox.sqlite") until each channel has taken them, so that nothing is
// lost to a server that is down or to a program that ends meanwhile: a new run sends what waits.
//
// Each alert carries an id of its own, the same on every channel and every attempt. Each channel
// takes its alerts one at a time, oldest first, so that they arrive in the order they happened.
// A failed attempt is tried again after a pause that doubles from the first to the longest; an
// alert that still fails a day after it was posted is given up, and the log says which. A
// channel whose setting cannot be read at the moment is paused: its alerts are kept, not sent.
//
// What the file is told goes in batches, one transaction at most every 50 ms, and an alert is in
// the file before its first attempt; a delivery leaves it with the next batch, and a run that
// ends before that sends the alert once more on the next start (at least once, never lost).
// At most 10,000 alerts wait per channel: beyond them the oldest are dropped, and one alert in
// their place says how many. Only the oldest page of each channel is held in memory; the rest
// waits in the file. Rows that cannot be read are kept aside in the file, never sent.
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
    // Alerts that wait for one channel, at most.
    static constexpr int MaxWaiting = 10000;
    // Alerts of one channel held in memory while more wait in the file.
    static constexpr int PageSize = 500;
    // The longest row read back: longer ones are kept aside unread.
    static constexpr int MaxRowBytes = 4 * 1024 * 1024;
    // The shortest time between two writes of the file.
    static constexpr std::chrono::milliseconds BatchGap{50};
    // Between two writes the thread sends for at least this many times as long as the last
    // write took: on a disk slow to sync, sending would otherwise wait for the disk after
    // every alert.
    static constexpr int SendingPerWriting = 4;

    struct Backoff
    {
        std::chrono::milliseconds first{5000};
        std::chrono::milliseconds longest{600000};
        std::chrono::milliseconds giveUpAfter{std::chrono::hours(24)};
    };
    using Log = std::function<void(const QString& line)>;

    // The outbox takes the channels as its children; Backoff{} gives the usual pauses. Paused
    // channels (by name) keep what waits for them and what is posted. Alerts of an earlier run
    // waiting for a channel that is neither set up nor paused are dropped, with a log line.
    AlertOutbox(const QString& fileName, const QList<AlertChannel*>& channels, const QStringList& paused, Log log,
                Backoff backoff, QObject* parent = nullptr);
    ~AlertOutbox() override;

    // How long a run that ends lets the sends under way finish (finishSending).
    static constexpr std::chrono::milliseconds QuitGrace{5000};

    // Queues the alert for every channel and starts sending; an alert without an id is given one.
    void post(Alert alert);
    // Starts nothing more, and lets the sends under way finish for up to the grace, so that an
    // alert delivered as the run ends leaves the file and is not sent again by the next run; the
    // log counts what is left for the next run. Runs the thread's events meanwhile (user input
    // excepted).
    void finishSending(std::chrono::milliseconds grace = QuitGrace);
    // Alerts not yet taken, counted once per channel.
    int waiting() const;
    // Why the file cannot be written at the moment, in SQLite's or the system's words; empty
    // while it can.
    QString storingProblem() const { return m_problem; }

    // A channel as a log line names it ("the webhook", "Apprise").
    static QString channelTitle(const QString& channel);
    // The text of the alert that stands for alerts dropped while a channel could not take them.
    static QString droppedText(int count);

signals:
    void delivered(const QString& channel, const Alert& alert);
    void givenUp(const QString& channel, const Alert& alert);

private:
    struct Delivery
    {
        QString id; // the row's: one per alert and channel
        QString channel;
        Alert alert;
        qint64 postedMs = 0; // wall clock, so that the day of trying carries on across runs
        int attempts = 0;
    };
    struct Queue
    {
        AlertChannel* channel = nullptr; // none while paused
        QList<Delivery> deliveries; // in memory, oldest first; the first is the one being sent
        qint64 inFile = 0; // newer ones, waiting in the file (or for it) and not in memory
        bool sending = false;
        QTimer* retry = nullptr; // none while paused
        QString lastProblem; // logged once until the channel delivers again
        QString foldId; // the waiting alert that counts those dropped, while there is one
        int folded = 0;
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
    void sendAll();
    void onDelivered(const QString& channel);
    void onFailed(const QString& channel, const QString& why);
    void change(bool keep, const Delivery& delivery);
    // Whether a new alert goes to memory, or only to the file behind those held there.
    bool holdsInMemory(const Queue& queue) const;
    // Drops the oldest waiting alerts beyond the most, and counts them in one that stands first.
    void keepWithinBound(const QString& channel);
    // Counts alerts dropped in one that stands first (after the one under way), made where
    // there is none yet.
    void fold(const QString& channel, int dropped, qint64 oldest);
    // Writes the changes soon, in one batch with those that come meanwhile.
    void storeSoon();
    // Writes the changes that wait, opening the file first where needed.
    void store();
    Problem open(QSqlDatabase& db);
    Problem load(QSqlDatabase& db);
    // Tops the channel's memory up from the file.
    Problem readPage(QSqlDatabase& db, const QString& channel);
    void refill();
    Problem write(QSqlDatabase& db);
    Problem moveAside(const QString& why);
    void keepForLater(const Problem& problem);

    const QString m_fileName;
    const Log m_log;
    const Backoff m_backoff;
    const QString m_connection;
    QHash<QString, Queue> m_queues;
    QList<Change> m_changes; // not yet in the file
    QHash<QString, qsizetype> m_changeOf; // where in m_changes each row's change is
    bool m_opened = false;
    bool m_finishing = false;
    QString m_problem;
    QTimer* m_storeSoon;
    QTimer* m_storeRetry;
    QElapsedTimer m_lastStore;
    qint64 m_lastStoreTookMs = 0;
    std::chrono::milliseconds m_storeDelay{0};
    qint64 m_keptAside = 0; // rows moved aside as unreadable, in this run
};

} // namespace Tarnwick
