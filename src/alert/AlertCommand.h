// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "alert/AlertChannel.h"

#include <QStringList>

#include <chrono>
#include <functional>

class QProcess;
class QTimer;

namespace Tarnwick {

class ProcessOutputTail;

// Runs the user's command ("Run on each alert") for each alert, the alert in its environment
// (TARNWICK_TITLE, TARNWICK_TEXT, ...). The command line is split into words as a shell would
// (single and double quotes, backslashes) and the program started directly, never through a
// shell, so nothing in an alert is ever read as shell syntax. As a channel of the outbox it runs
// one alert at a time, in the order of the alerts, so that a command that switches something on
// and off ends on the latest state, and the alerts that wait behind a run are kept like those of
// the other channels. A run that outlasts the time limit is stopped with all the processes it
// started. A run that ended, however, is a delivery (running the command again would repeat what
// it did); a command that cannot start is a failure, tried again. Whatever goes wrong, and the
// last lines the command printed, go to the log.
class AlertCommand : public AlertChannel
{
public:
    using Log = std::function<void(const QString& line)>;
    static constexpr std::chrono::milliseconds DefaultTimeLimit{30000};

    // The command line must be one split() can read.
    AlertCommand(const QString& commandLine, Log log, std::chrono::milliseconds timeLimit = DefaultTimeLimit,
                 QObject* parent = nullptr);
    ~AlertCommand() override;

    // The channel's name, as the outbox keeps it with each waiting alert.
    static inline const QString Name = QStringLiteral("command");
    QString name() const override;
    // Runs the command for the alert; the outbox sends one at a time.
    void send(const Alert& alert) override;
    // A later alert of the same group (a message that grew) is what the command runs for; the
    // waiting one it updates is not run.
    bool takesLatestOfGroup() const override { return true; }

    // The program and its arguments, split by the shell's quoting rules; empty, and why in
    // error, when the line cannot be split.
    static QStringList split(const QString& commandLine, QString* error = nullptr);
    // Why the command line cannot be run (an open quote), for the log; empty when it can.
    static QString refusal(const QString& commandLine);

private:
    void ended();
    void logOutput();
    // Ends the process group of a run that outlasted its limit: SIGTERM, then SIGKILL.
    void stop(qint64 group);

    const QStringList m_arguments; // the program first
    const QString m_commandLine;
    const Log m_log;
    const std::chrono::milliseconds m_timeLimit;
    QProcess* m_running = nullptr;
    ProcessOutputTail* m_output = nullptr;
    QTimer* m_limit = nullptr;
    bool m_killed = false;
    // Process groups told to end that have not yet been sent SIGKILL.
    QList<qint64> m_stopping;
};

} // namespace Tarnwick
