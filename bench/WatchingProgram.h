// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "BenchTool.h"
#include "ProbesCounted.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <csignal>

// The shipped program without its window (tarnwick --headless), watching a list of devices
// in a folder of its own with its metrics served on a loopback port, until it is ended.
class WatchingProgram
{
public:
    // settings: what goes between <Settings> and </Settings>.
    WatchingProgram(const QString& executable, const QStringList& devices, const QByteArray& settings, int metricsPort)
        : m_port(metricsPort)
    {
        QByteArray list = "<DeviceEntries>\n";
        for (const QString& ip : devices)
            list += "<DeviceEntry IP=\"" + ip.toUtf8() + "\"/>\n";
        list += "</DeviceEntries>\n";
        writeFile(m_dir.filePath(QStringLiteral("DeviceConfig.xml")), list);
        writeFile(m_dir.filePath(QStringLiteral("Settings.xml")), "<Settings>" + settings + "</Settings>");
        m_program.setWorkingDirectory(m_dir.path());
        m_program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_program.setStandardOutputFile(QProcess::nullDevice());
        m_program.start(executable, {"--headless", "--metrics", QString::number(metricsPort)});
        m_program.waitForStarted(10000);
    }
    ~WatchingProgram()
    {
        if (m_program.state() != QProcess::NotRunning) {
            m_program.kill();
            m_program.waitForFinished(10000);
        }
    }

    qint64 pid() const { return m_program.processId(); }
    // Waits until the program has counted that many probes; false if it had not within the time.
    bool probed(qint64 probes, int withinMs)
    {
        QElapsedTimer clock;
        clock.start();
        while (m_program.state() == QProcess::Running && probesCounted(m_port) < probes) {
            if (clock.elapsed() > withinMs)
                return false;
            runFor(500);
        }
        return m_program.state() == QProcess::Running;
    }
    // SIGTERM; whether it then ended cleanly.
    bool end()
    {
        // A process gone has no id: kill(0) would end the whole process group, the bench's own.
        if (pid() <= 0)
            return false;
        ::kill(pid_t(pid()), SIGTERM);
        return m_program.waitForFinished(60000) && m_program.exitStatus() == QProcess::NormalExit
            && m_program.exitCode() == 0;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_program;
    int m_port;
};
