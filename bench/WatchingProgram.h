// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "BenchTool.h"
#include "ProbesCounted.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

#include <csignal>

// One of the shipped programs watching a list of devices, in a folder of its own, until it is
// ended: by default the program without its window (tarnwick --headless) with its metrics served
// on a loopback port.
class WatchingProgram
{
public:
    // settings: what goes between <Settings> and </Settings>.
    WatchingProgram(const QString& executable, const QStringList& devices, const QByteArray& settings, int metricsPort)
        : WatchingProgram(executable, {"--headless", "--metrics", QString::number(metricsPort)}, devices, settings,
                          metricsPort)
    {
    }
    // With arguments of its own; the window draws offscreen. A null settings writes no Settings.xml.
    WatchingProgram(const QString& executable, const QStringList& arguments, const QStringList& devices,
                    const QByteArray& settings, int metricsPort)
        : m_port(metricsPort)
    {
        QByteArray list = "<DeviceEntries>\n";
        for (const QString& ip : devices)
            list += "<DeviceEntry IP=\"" + ip.toUtf8() + "\"/>\n";
        list += "</DeviceEntries>\n";
        writeFile(m_dir.filePath(QStringLiteral("DeviceConfig.xml")), list);
        if (!settings.isNull())
            writeFile(m_dir.filePath(QStringLiteral("Settings.xml")), "<Settings>" + settings + "</Settings>");
        m_program.setWorkingDirectory(m_dir.path());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_program.setProcessEnvironment(environment);
        m_program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_program.setStandardOutputFile(QProcess::nullDevice());
        m_clock.start();
        m_program.start(executable, arguments);
        m_program.waitForStarted(10000);
    }
    ~WatchingProgram()
    {
        if (m_program.state() != QProcess::NotRunning) {
            m_program.kill();
            m_program.waitForFinished(10000);
        }
    }

    // Milliseconds since the program was started, its files written.
    double elapsedMs() const { return double(m_clock.nsecsElapsed()) / 1e6; }
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
    QElapsedTimer m_clock;
    int m_port;
};
