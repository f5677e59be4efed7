// SPDX-License-Identifier: GPL-3.0-or-later
#include "DataLogListener.h"

#include "LogManager.h"
#include "data/Announcement.h"
#include "data/DeviceAddedEvent.h"
#include "data/DeviceRemovedEvent.h"
#include "data/Settings.h"

namespace Tarnwick {

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

void DataLogListener::DeviceRemoved(DeviceRemovedEvent* pEvent)
{
    logForDevice(pEvent->entry().ip, pEvent->entry().description, " removed from list");
}

} // namespace Tarnwick
