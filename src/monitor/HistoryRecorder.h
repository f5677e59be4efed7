// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "history/DeviceStatistics.h"
#include "history/HistoryStore.h"

#include <QObject>

namespace Tarnwick {

class Data;
class DeviceEntryChangedEvent;
class Settings;

// Feeds every result it is given and every change of state into the history file and the
// last hour's statistics, for as long as it lives.
class HistoryRecorder : public QObject
{
    Q_OBJECT

public:
    // report: where the history says what went wrong, called on the thread that made the
    // recorder, also for what it says as it ends.
    HistoryRecorder(const QString& fileName, const Settings& settings, Data& data, HistoryStore::Reporter report = {});

    // From any thread.
    void record(const ProbeRecord& record);

    const DeviceStatistics& statistics() const { return m_statistics; }
    QString fileName() const { return m_fileName; }
    // Why results wait in memory rather than in the file, if they do.
    QString recordingProblem() const { return m_store.recordingProblem(); }

public slots:
    void DeviceEntryChanged(Tarnwick::DeviceEntryChangedEvent* pEvent);

private:
    QString m_fileName;
    HistoryStore m_store;
    DeviceStatistics m_statistics;
};

} // namespace Tarnwick
