// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "history/DeviceStatistics.h"
#include "history/HistoryStore.h"

#include <QObject>

#include <functional>

namespace Tarnwick {

class Data;
class DeviceEntryChangedEvent;
class Settings;

// Feeds every result of the monitor and every change of state into the history file and the
// last hour's statistics, and lets the device list read them, for as long as it lives.
class HistoryRecorder : public QObject
{
    Q_OBJECT

public:
    HistoryRecorder(const QString& fileName, const Settings& settings, Data& data);
    ~HistoryRecorder() override;

    const DeviceStatistics& statistics() const { return m_statistics; }
    // Why results do not reach the file at the moment; empty while they do.
    QString recordingProblem() const { return m_store.recordingProblem(); }
    // Where every result goes besides; set it before the monitor starts.
    void alsoObserve(std::function<void(const ProbeRecord&)> observer) { m_alsoObserve = std::move(observer); }

private slots:
    void DeviceEntryChanged(Tarnwick::DeviceEntryChangedEvent* pEvent);

private:
    HistoryStore m_store;
    DeviceStatistics m_statistics;
    std::function<void(const ProbeRecord&)> m_alsoObserve;
};

} // namespace Tarnwick
