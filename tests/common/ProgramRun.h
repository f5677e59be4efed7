#pragma once

#include "TestFiles.h"

#include <QProcess>

#include <csignal>

// The built program, started in a working directory of the test's, as a person starts it.
class ProgramRun
{
public:
    // childSetup runs in the child between fork and exec (for example to drop privileges).
    explicit ProgramRun(const QString& workingDirectory, std::function<void()> childSetup = {})
        : m_dir(workingDirectory)
    {
        if (childSetup)
            m_process.setChildProcessModifier(std::move(childSetup));
        m_process.setWorkingDirectory(workingDirectory);
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start(QStringLiteral(TARNWICK_EXECUTABLE), {});
    }

    ~ProgramRun()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    bool started() { return m_process.waitForStarted(10000); }

    QByteArray file(const QString& name) const { return TestFiles::readAll(m_dir + QLatin1Char('/') + name); }
    QByteArray log() const { return file(QStringLiteral("LogRelease.txt")); }

    // Sends the signal and waits for the end: the exit code, or -1 for a crash or a hang.
    int endWith(int signalNumber)
    {
        ::kill(static_cast<pid_t>(m_process.processId()), signalNumber);
        if (!m_process.waitForFinished(20000) || m_process.exitStatus() != QProcess::NormalExit)
            return -1;
        return m_process.exitCode();
    }

private:
    QString m_dir;
    QProcess m_process;
};
