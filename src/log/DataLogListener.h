// SPDX-License-Identifier: GPL-3.0-or-later
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
    // With a first hop set, how long a disconnection waits to learn whether the device is only
    // cut off behind another.
    static constexpr int CutOffWaitMs = 1000;

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
