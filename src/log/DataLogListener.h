#pragma once

#include <QObject>

namespace Tarnwick {

class DeviceAddedEvent;
class DeviceEntry;
class DeviceEntryChangedEvent;
class DeviceRemovedEvent;
class LogManager;

// Writes a "DeviceList" log entry when a device changes its state, is added or is removed,
// while state-change logging is switched on in the settings.
class DataLogListener : public QObject
{
    Q_OBJECT

public:
    explicit DataLogListener(QObject* parent = nullptr);

public slots:
    void DeviceEntryChanged(Tarnwick::DeviceEntryChangedEvent* pEvent);
    void DeviceAdded(Tarnwick::DeviceAddedEvent* pEvent);
    void DeviceRemoved(Tarnwick::DeviceRemovedEvent* pEvent);

private:
    void logForDevice(const DeviceEntry& entry, const std::string& what);

    LogManager& m_logManager;
};

} // namespace Tarnwick
