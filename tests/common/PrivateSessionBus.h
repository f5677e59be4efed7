// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <list>

// A session bus of the test's own, so that nothing a test says reaches a real desktop, and one
// that starts no service of this computer's on demand; python3-dbusmock's services run on it.
// The connection, the services and the bus end with the object, however far the test came.
class PrivateSessionBus
{
public:
    explicit PrivateSessionBus(const QString& connectionName)
        : m_name(connectionName)
    {
    }

    ~PrivateSessionBus()
    {
        QDBusConnection::disconnectFromBus(m_name);
        stopServices();
        stop(m_daemon);
    }

    // What this computer lacks for the bus and its services, for QSKIP; empty when nothing.
    static QString missingTool()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            return QStringLiteral("dbus-daemon is not installed (scripts/setup-deps test installs it)");
        if (QProcess::execute(QStringLiteral("/usr/bin/python3"),
                              {QStringLiteral("-c"), QStringLiteral("import dbusmock")})
            != 0)
            return QStringLiteral("python3-dbusmock is not installed (scripts/setup-deps test installs it)");
        return {};
    }

    // Starts the bus and connects to it by the connection name; false when either failed.
    bool start()
    {
        QFile config(m_dir.filePath(QStringLiteral("bus.conf")));
        if (!m_dir.isValid() || !config.open(QIODevice::WriteOnly))
            return false;
        config.write(QStringLiteral("<busconfig><type>session</type><listen>unix:dir=%1</listen><auth>EXTERNAL</auth>"
                                    "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                    "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>")
                         .arg(m_dir.path())
                         .toUtf8());
        config.close();
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--nofork"),
                        QStringLiteral("--print-address")});
        if (!m_daemon.waitForStarted() || !QTest::qWaitFor([this] { return m_daemon.canReadLine(); }, 20000))
            return false;
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        return QDBusConnection::connectToBus(m_address, m_name).isConnected();
    }

    QDBusConnection connection() const { return QDBusConnection(m_name); }
    QString address() const { return m_address; }

    // Runs "python3 -m dbusmock" with the arguments on the bus, until stopServices or the end.
    void startService(const QStringList& arguments)
    {
        QProcess& service = m_services.emplace_back();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
        service.setProcessEnvironment(environment);
        service.setProcessChannelMode(QProcess::ForwardedChannels);
        service.start(QStringLiteral("/usr/bin/python3"),
                      QStringList{QStringLiteral("-m"), QStringLiteral("dbusmock")} + arguments);
        service.waitForStarted();
    }

    void stopServices()
    {
        for (QProcess& service : m_services)
            stop(service);
        m_services.clear();
    }

private:
    static void stop(QProcess& process)
    {
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
    }

    const QString m_name;
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
    std::list<QProcess> m_services;
};
