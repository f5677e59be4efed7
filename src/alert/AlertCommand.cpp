// SPDX-License-Identifier: GPL-3.0-or-later
#include "alert/AlertCommand.h"

#include "alert/ProcessOutputTail.h"
#include "data/PhraseBook.h"

#include <QProcess>
#include <QTimer>

#include <glib.h>

#include <csignal>
#include <unistd.h>

namespace Tarnwick {

namespace {

// Lines of a command's output that reach the log per run; a chatty command cannot bury it.
constexpr int MaxLoggedLines = 20;
// How long a stopped command's processes have to end on SIGTERM before they get SIGKILL.
constexpr std::chrono::milliseconds StopGrace{2000};

void signalGroup(qint64 group, int signal)
{
    if (group > 0)
        ::kill(-pid_t(group), signal);
}

} // namespace

QStringList AlertCommand::split(const QString& commandLine, QString* error)
{
    if (commandLine.trimmed().isEmpty())
        return {};
    int count = 0;
    char** words = nullptr;
    GError* failure = nullptr;
    QStringList arguments;
    if (g_shell_parse_argv(commandLine.toUtf8().constData(), &count, &words, &failure)) {
        for (int i = 0; i < count; ++i)
            arguments << QString::fromUtf8(words[i]);
        g_strfreev(words);
    } else {
        if (error)
            *error = QString::fromUtf8(failure->message);
        g_error_free(failure);
    }
    return arguments;
}

QString AlertCommand::refusal(const QString& commandLine)
{
    QString unreadable;
    if (split(commandLine, &unreadable).isEmpty() && !unreadable.isEmpty())
        return PhraseBook::english(PhraseBook::CommandRefused, {commandLine.trimmed(), unreadable});
    return {};
}

AlertCommand::AlertCommand(const QString& commandLine, Log log, std::chrono::milliseconds timeLimit, QObject* parent)
    : AlertChannel(parent)
    , m_arguments(split(commandLine))
    , m_commandLine(commandLine.trimmed())
    , m_log(std::move(log))
    , m_timeLimit(timeLimit)
    , m_limit(new QTimer(this))
{
    m_limit->setSingleShot(true);
    connect(m_limit, &QTimer::timeout, this, [this] {
        if (!m_running)
            return;
        m_killed = true;
        stop(m_running->processId());
    });
}

AlertCommand::~AlertCommand()
{
    if (m_running) {
        m_running->disconnect(this);
        const qint64 group = m_running->processId();
        signalGroup(group, SIGTERM);
        m_running->waitForFinished(int(StopGrace.count()));
        signalGroup(group, SIGKILL);
        m_running->waitForFinished(1000);
        logOutput();
        m_log(PhraseBook::english(PhraseBook::CommandStillRunning, {m_commandLine}));
    }
    for (const qint64 group : std::as_const(m_stopping))
        signalGroup(group, SIGKILL);
}

QString AlertCommand::name() const
{
    return Name;
}

void AlertCommand::stop(qint64 group)
{
    // The whole group: a shell script's children would otherwise run on, adopted by init.
    signalGroup(group, SIGTERM);
    m_stopping << group;
    QTimer::singleShot(StopGrace, this, [this, group] {
        signalGroup(group, SIGKILL);
        m_stopping.removeOne(group);
    });
}

void AlertCommand::send(const Alert& alert)
{
    Q_ASSERT(!m_running);
    if (m_arguments.isEmpty()) {
        QMetaObject::invokeMethod(
            this, [this] { emit failed(PhraseBook::english(PhraseBook::CommandCannotRun, {m_commandLine})); },
            Qt::QueuedConnection);
        return;
    }
    m_running = new QProcess(this);
    m_running->setProcessChannelMode(QProcess::MergedChannels);
    m_output = new ProcessOutputTail(m_running);
    m_running->setProcessEnvironment(alert.addTo(QProcessEnvironment::systemEnvironment()));
    m_running->setProgram(m_arguments.first());
    m_running->setArguments(m_arguments.mid(1));
    // A session of its own, so that the command and everything it starts form one process group
    // that can be stopped together.
    m_running->setChildProcessModifier([] { ::setsid(); });
    m_killed = false;
    connect(m_running, &QProcess::finished, this, &AlertCommand::ended);
    connect(m_running, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        // A program that never started sends no finished(); it may be there on the next try.
        if (error == QProcess::FailedToStart) {
            const QString why = m_running->errorString();
            m_limit->stop();
            m_running->disconnect(this);
            m_running->deleteLater();
            m_running = nullptr;
            emit failed(PhraseBook::english(PhraseBook::CommandCouldNotStart, {m_commandLine, why}));
        }
    });
    // Started first: a program that cannot start ends the run within start().
    m_limit->start(m_timeLimit);
    m_running->start();
}

void AlertCommand::ended()
{
    m_limit->stop();
    logOutput();
    if (m_killed) {
        m_log(PhraseBook::english(PhraseBook::CommandTimedOut,
                                  {m_commandLine, QString::number(double(m_timeLimit.count()) / 1000.0)}));
    } else if (m_running->exitStatus() == QProcess::CrashExit) {
        m_log(PhraseBook::english(PhraseBook::CommandCrashed, {m_commandLine}));
    } else if (m_running->exitCode() != 0) {
        m_log(PhraseBook::english(PhraseBook::CommandFailed, {m_commandLine, QString::number(m_running->exitCode())}));
    }
    m_running->disconnect(this);
    m_running->deleteLater();
    m_running = nullptr;
    emit delivered();
}

void AlertCommand::logOutput()
{
    const QStringList lines = m_output->lastLines(MaxLoggedLines);
    if (const qint64 before = m_output->lineCount() - lines.size(); before > 0)
        m_log(PhraseBook::english(PhraseBook::CommandSaidBefore, {m_commandLine}, int(before)));
    for (const QString& line : lines)
        m_log(PhraseBook::english(PhraseBook::CommandSaid, {m_commandLine, line}));
}

} // namespace Tarnwick
