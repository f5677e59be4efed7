// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TestFiles.h"

#include <QProcess>

#include <csignal>

// The built program, started in a working directory of the test's, as a person starts it.
class ProgramRun
{
public:
    struct Options
    {
        QStringList arguments;
        // Runs in the child between fork and exec (for example to drop privileges).
        std::function<void()> childSetup;
        // Environment variables to remove, and to set ("NAME=value").
        QStringList unset;
        QStringList set{};
        // The desktop program, or the server program where set.
        bool server = false;
    };

    explicit ProgramRun(const QString& workingDirectory)
        : ProgramRun(workingDirectory, Options())
    {
    }

    ProgramRun(const QString& workingDirectory, const Options& options)
        : m_dir(workingDirectory)
    {
        if (options.childSetup)
            m_process.setChildProcessModifier(options.childSetup);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& name : options.unset)
            env.remove(name);
        for (const QString& variable : options.set)
            env.insert(variable.section(QLatin1Char('='), 0, 0), variable.section(QLatin1Char('='), 1));
        m_process.setProcessEnvironment(env);
        m_process.setWorkingDirectory(workingDirectory);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(options.server ? QStringLiteral(TARNWICK_HEADLESS_EXECUTABLE)
                                       : QStringLiteral(TARNWICK_EXECUTABLE),
                        options.arguments);
    }

    ~ProgramRun()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    bool started() { return m_process.waitForStarted(10000); }
    qint64 pid() const { return m_process.processId(); }
    bool running() const { return m_process.state() == QProcess::Running; }

    QByteArray file(const QString& name) const { return TestFiles::readAll(m_dir + QLatin1Char('/') + name); }
    QByteArray log() const { return file(QStringLiteral("LogRelease.txt")); }
    // What the program printed on standard output and standard error so far.
    QByteArray output()
    {
        m_output += m_process.readAll();
        return m_output;
    }

    // Sends the signal and waits for the end: the exit code, or -1 for a crash or a hang.
    int endWith(int signalNumber)
    {
        ::kill(static_cast<pid_t>(m_process.processId()), signalNumber);
        return waitForExit();
    }

    // Waits for the program to end by itself: the exit code, or -1 for a crash or a hang.
    int waitForExit(int ms = 20000)
    {
        if (!m_process.waitForFinished(ms) || m_process.exitStatus() != QProcess::NormalExit)
            return -1;
        return m_process.exitCode();
    }

private:
    QString m_dir;
    QProcess m_process;
    QByteArray m_output;
};
