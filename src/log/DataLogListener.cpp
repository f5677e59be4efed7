// SPDX-License-Identifier: GPL-3.0-or-later
#include "DataLogListener.h"

#include "LogManager.h"
#include "data/Announcement.h"
#include "data/DeviceAddedEvent.h"
#include "data/DeviceEntryChangedEvent.h"
#include "data/DeviceRemovedEvent.h"
#include "data/Settings.h"

namespace Tarnwick {

namespace {

// Whom a mute or a maintenance window is for, in a log line: an empty address is every device.
QString whose(const QString& ip)
{
    return ip.isEmpty() ? QStringLiteral("all devices") : ip;
}

} // namespace

DataLogListener::DataLogListener(QObject* parent)
    : QObject(parent)
    , m_logManager(LogManager::instance())
{
}

void DataLogListener::logForDevice(const QString& ip, const QString& description, const std::string& what)
{
    if (!Settings::instance().logStateChange)
        return;
    // The description, when there is one, tells which device the address is.
    const QString named = description.isEmpty() ? ip : ip + QStringLiteral(" (") + description + QLatin1Char(')');
    m_logManager.log("DeviceList", "Device " + named.toStdString() + what);
}

void DataLogListener::announced(const Announcement& announcement)
{
    if ((announcement.what == Announcement::What::SlowChanged || announcement.what == Announcement::What::CannotProbe)
        && !announcement.devices.isEmpty()) {
        logForDevice(announcement.devices.first(), announcement.description, ' ' + announcement.text.toStdString());
        return;
    }
    if (announcement.what != Announcement::What::StateChanged || announcement.devices.isEmpty())
        return;
    std::string what = announcement.connected ? " state changed to: connected" : " state changed to: disconnected";
    if (!announcement.behind.isEmpty())
        what += " (unreachable, behind " + announcement.behind.toStdString() + ")";
    else if (!announcement.connected && !announcement.reason.isEmpty())
        what += " (" + announcement.reason.toStdString() + ")";
    if (announcement.whileAway)
        what += " (while Tarnwick was not running)";
    logForDevice(announcement.devices.first(), announcement.description, what);
}

void DataLogListener::DeviceAdded(DeviceAddedEvent* pEvent)
{
    logForDevice(pEvent->entry().ip, pEvent->entry().description, " added to list");
}

void DataLogListener::DeviceEntryChanged(DeviceEntryChangedEvent* pEvent)
{
    // Results change the entry too, many times a second: only what the user edits is told.
    const DeviceEntry& before = pEvent->oldEntry();
    const DeviceEntry& after = pEvent->newEntry();
    QStringList changes;
    const auto note = [&changes](const char* field, const QString& from, const QString& to) {
        if (from != to)
            changes << QStringLiteral("%1 \"%2\" to \"%3\"").arg(QLatin1String(field), from, to);
    };
    const auto yesNo = [](bool yes) { return yes ? QStringLiteral("yes") : QStringLiteral("no"); };
    note("address", before.ip, after.ip);
    note("description", before.description, after.description);
    note("type", QString::number(before.type), QString::number(after.type));
    note("information on state change", yesNo(before.informOnStateChange), yesNo(after.informOnStateChange));
    note("check", before.check.text(), after.check.text());
    if (before.slowLimits != after.slowLimits)
        changes << QStringLiteral("its slow limits");
    const auto echoText = [](const EchoOptions& echo) {
        return QStringLiteral("%1 bytes%2").arg(echo.payloadSize).arg(echo.dontFragment ? ", don't fragment" : "");
    };
    note("echo requests", echoText(before.echo), echoText(after.echo));
    const auto checksText = [](const QList<DeviceCheck>& checks) {
        QStringList words;
        for (const DeviceCheck& check : checks)
            words << check.text();
        return words.join(QStringLiteral(", "));
    };
    note("further checks", checksText(before.moreChecks), checksText(after.moreChecks));
    if (!changes.isEmpty())
        logForDevice(before.ip, before.description, " edited: " + changes.join(QStringLiteral(", ")).toStdString());
}

void DataLogListener::muted(const QString& ip, const QDateTime& until)
{
    const QString end = until.isValid() ? until.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm"))
                                        : QStringLiteral("unmuted");
    m_logManager.log("Alerts", QStringLiteral("Alerts of %1 muted until %2").arg(whose(ip), end).toStdString());
}

void DataLogListener::unmuted(const QString& ip)
{
    m_logManager.log("Alerts", QStringLiteral("Alerts of %1 unmuted").arg(whose(ip)).toStdString());
}

void DataLogListener::maintenanceAdded(const MaintenanceWindow& window)
{
    m_logManager.log(
        "Alerts",
        QStringLiteral("Maintenance window for %1 added: %2").arg(whose(window.ip), window.text()).toStdString());
}

void DataLogListener::maintenanceRemoved(const MaintenanceWindow& window)
{
    m_logManager.log(
        "Alerts",
        QStringLiteral("Maintenance window for %1 removed: %2").arg(whose(window.ip), window.text()).toStdString());
}

void DataLogListener::DeviceRemoved(DeviceRemovedEvent* pEvent)
{
    logForDevice(pEvent->entry().ip, pEvent->entry().description, " removed from list");
}

} // namespace Tarnwick
