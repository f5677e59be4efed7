// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/MaintenanceWindow.h"

#include "data/PhraseBook.h"
#include <QDateTime>

#include <QObject>

#include <string>

namespace Tarnwick {

struct Announcement;
class DeviceAddedEvent;
class DeviceEntryChangedEvent;
class DeviceRemovedEvent;
class LogManager;

// Writes a "DeviceList" log entry when a device is added, edited or removed, and when the
// announcer says a device changed its state, while state-change logging is switched on in the
// settings; and an "Alerts" entry for each mute the user sets or lifts.
class DataLogListener : public QObject
{
    Q_OBJECT

public:
    explicit DataLogListener(QObject* parent = nullptr);

public slots:
    void DeviceAdded(Tarnwick::DeviceAddedEvent* pEvent);
    void DeviceRemoved(Tarnwick::DeviceRemovedEvent* pEvent);
    // What the user changed of a device: one line naming each field with its old and new value.
    void DeviceEntryChanged(Tarnwick::DeviceEntryChangedEvent* pEvent);
    // A mute set or lifted by the user (an empty address: all devices).
    void muted(const QString& ip, const QDateTime& until);
    void unmuted(const QString& ip);
    // A maintenance window added or removed by the user (an empty address: every device).
    void maintenanceAdded(const Tarnwick::MaintenanceWindow& window);
    void maintenanceRemoved(const Tarnwick::MaintenanceWindow& window);
    void announced(const Tarnwick::Announcement& announcement);

private:
    // A line of the phrase with the device as its %1 and the parts after.
    void logForDevice(const QString& ip, const QString& description, const PhraseBook::Phrase& phrase,
                      const QStringList& parts = {});
    // A line about a device, while the settings ask for them.
    void logDeviceLine(const QString& line);

    LogManager& m_logManager;
};

} // namespace Tarnwick
