// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "alert/Alert.h"

#include <QObject>
#include <QQueue>
#include <QStringList>

#include <chrono>
#include <functional>

class QProcess;
class QTimer;

namespace Tarnwick {

// Runs the user's command ("Run on each alert") for each alert, the alert in its environment
// (TARNWICK_TITLE, TARNWICK_TEXT, ...). The command line is split into words as a shell would
// (single and double quotes, backslashes) and the program started directly, never through a
// shell, so nothing in an alert is ever read as shell syntax. Runs are asynchronous and one at a time, in the order of
// the alerts, so that a command that switches something on and off ends on the latest state; a run that outlasts the
// time limit is stopped with all the processes it started. Whatever goes wrong, and whatever the command prints, goes
// to the log.
class AlertCommand : public QObject
{
    Q_OBJECT

public:
    using Log = std::function<void(const QString& line)>;
    static constexpr std::chrono::milliseconds DefaultTimeLimit{30000};
    // Alerts that wait behind a running command; beyond these, new ones are not run.
    static constexpr int MaxWaiting = 100;

    AlertCommand(const QString& commandLine, Log log, std::chrono::milliseconds timeLimit = DefaultTimeLimit,
                 QObject* parent = nullptr);
    ~AlertCommand() override;

    // Starts the command for the alert, or queues it behind the one running. Does nothing
    // when the command line is empty, and logs why when it cannot be read (an open quote).
    void run(const Alert& alert);

    // The program and its arguments, split by the shell's quoting rules; empty, and why in
    // error, when the line cannot be split.
    static QStringList split(const QString& commandLine, QString* error = nullptr);

signals:
    // A run ended: finished, failed to start or killed.
    void runEnded();

private:
    void startNext();
    void ended();
    void logOutput();
    // Ends the process group of a run that outlasted its limit: SIGTERM, then SIGKILL.
    void stop(qint64 group);

    QString m_unreadable; // why the command line cannot be split
    const QStringList m_arguments; // the program first
    const QString m_commandLine;
    const Log m_log;
    const std::chrono::milliseconds m_timeLimit;
    QQueue<Alert> m_waiting;
    QProcess* m_running = nullptr;
    QTimer* m_limit = nullptr;
    bool m_killed = false;
    // Process groups told to end that have not yet been sent SIGKILL.
    QList<qint64> m_stopping;
};

} // namespace Tarnwick
