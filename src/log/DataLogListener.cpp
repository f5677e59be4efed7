// SPDX-License-Identifier: GPL-3.0-or-later
#include "DataLogListener.h"

#include "LogManager.h"
#include "data/DeviceAddedEvent.h"
#include "data/DeviceEntryChangedEvent.h"
#include "data/DeviceRemovedEvent.h"
#include "data/Reachability.h"
#include "data/Settings.h"

#include <QTimer>

namespace Tarnwick {

DataLogListener::DataLogListener(QObject* parent)
    : QObject(parent)
    , m_logManager(LogManager::instance())
{
}

void DataLogListener::logForDevice(const DeviceEntry& entry, const std::string& what)
{
    if (!Settings::instance().logStateChange)
        return;
    // The description, when there is one, tells which device the address is.
    const QString named = entry.description.isEmpty()
        ? entry.ip
        : entry.ip + QStringLiteral(" (") + entry.description + QLatin1Char(')');
    m_logManager.log("DeviceList", "Device " + named.toStdString() + what);
}

void DataLogListener::DeviceEntryChanged(DeviceEntryChangedEvent* pEvent)
{
    if (!pEvent->changesState())
        return;
    const DeviceEntry entry = pEvent->newEntry();
    if (entry.state == DeviceStateConnected) {
        logForDevice(entry, " state changed to: connected");
    } else {
        // With a first hop, whether the device is only cut off behind another is known a
        // moment later, once the states around it have changed too.
        // The network's own reason, where it gave one.
        const std::string disconnected = entry.lastProbe.reason.isEmpty()
            ? std::string(" state changed to: disconnected")
            : " state changed to: disconnected (" + entry.lastProbe.reason.toStdString() + ")";
        if (Settings::instance().firstHop.isEmpty()) {
            logForDevice(entry, disconnected);
            return;
        }
        QTimer::singleShot(CutOffWaitMs, this, [this, entry, disconnected] {
            const QString behind = Reachability::behind(entry.ip);
            logForDevice(entry,
                         behind.isEmpty()
                             ? disconnected
                             : " state changed to: disconnected (unreachable, behind " + behind.toStdString() + ")");
        });
    }
}

void DataLogListener::DeviceAdded(DeviceAddedEvent* pEvent)
{
    logForDevice(pEvent->entry(), " added to list");
}

void DataLogListener::DeviceRemoved(DeviceRemovedEvent* pEvent)
{
    logForDevice(pEvent->entry(), " removed from list");
}

} // namespace Tarnwick
