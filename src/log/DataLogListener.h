// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <string>

namespace Tarnwick {

struct Announcement;
class DeviceAddedEvent;
class DeviceRemovedEvent;
class LogManager;

// Writes a "DeviceList" log entry when a device is added or removed, and when the announcer
// says a device changed its state, while state-change logging is switched on in the settings.
class DataLogListener : public QObject
{
    Q_OBJECT

public:
    explicit DataLogListener(QObject* parent = nullptr);

public slots:
    void DeviceAdded(Tarnwick::DeviceAddedEvent* pEvent);
    void DeviceRemoved(Tarnwick::DeviceRemovedEvent* pEvent);
    void announced(const Tarnwick::Announcement& announcement);

private:
    void logForDevice(const QString& ip, const QString& description, const std::string& what);

    LogManager& m_logManager;
};

} // namespace Tarnwick
