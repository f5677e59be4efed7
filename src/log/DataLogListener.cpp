#include "DataLogListener.h"

#include "LogManager.h"
#include "data/DeviceAddedEvent.h"
#include "data/DeviceEntryChangedEvent.h"
#include "data/DeviceRemovedEvent.h"
#include "data/Settings.h"

namespace Tarnwick {

DataLogListener::DataLogListener(QObject* parent)
    : QObject(parent)
    , m_logManager(LogManager::instance())
{
}

void DataLogListener::logForDevice(const QString& ip, const std::string& what)
{
    if (Settings::instance().logStateChange)
        m_logManager.log("DeviceList", "Device " + ip.toStdString() + what);
}

void DataLogListener::DeviceEntryChanged(DeviceEntryChangedEvent* pEvent)
{
    const DeviceEntry entry = pEvent->newEntry();
    if (entry.state == pEvent->oldEntry().state)
        return;
    if (entry.state == DeviceStateConnected)
        logForDevice(entry.ip, " state changed to: connected");
    else if (entry.state == DeviceStateDisconnected)
        logForDevice(entry.ip, " state changed to: disconnected");
}

void DataLogListener::DeviceAdded(DeviceAddedEvent* pEvent)
{
    logForDevice(pEvent->entry().ip, " added to list");
}

void DataLogListener::DeviceRemoved(DeviceRemovedEvent* pEvent)
{
    logForDevice(pEvent->entry().ip, " removed from list");
}

} // namespace Tarnwick
