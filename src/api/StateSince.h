// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "history/HistoryReader.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <optional>

namespace Tarnwick {

class Data;
class DeviceAddedEvent;
class DeviceEntryChangedEvent;
class DeviceRemovedEvent;

// Since when each device has been in its state: from the change the store announced, or for a
// device's first result after start from the history's last change where that agrees with it
// (the device was down before Tarnwick started), else from that first result.
class StateSince : public QObject
{
    Q_OBJECT

public:
    StateSince(Data& data, QString historyFile, QObject* parent = nullptr);

    // UTC milliseconds; none before the device's first result.
    std::optional<qint64> sinceMs(const QString& ip) const;

public slots:
    void DeviceEntryChanged(Tarnwick::DeviceEntryChangedEvent* pEvent);
    void DeviceAdded(Tarnwick::DeviceAddedEvent* pEvent);
    void DeviceRemoved(Tarnwick::DeviceRemovedEvent* pEvent);

private:
    QString m_historyFile;
    QHash<QString, qint64> m_since;
    // The history's last changes, read once for all: the first results come in together.
    std::optional<QHash<QString, HistoryReader::StateChange>> m_before;
};

} // namespace Tarnwick
