// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "SlowRule.h"
#include "history/DeviceStatistics.h"
#include "history/HistoryStore.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <thread>

namespace Tarnwick {

class Data;
class DeviceEntry;
class DeviceEntryChangedEvent;
class DeviceRemovedEvent;
class Settings;

// Feeds every result it is given, every change of state and every slow period into the history
// file, and the results into the last hour's statistics, for as long as it lives.
class HistoryRecorder : public QObject
{
    Q_OBJECT

public:
    // report: where the history says what went wrong, called on the thread that made the
    // recorder, also for what it says as it ends.
    // The last hour's figures of the previous run are read from the file on a thread of their
    // own and join the statistics as they come (at 100,000 devices an hour is six million
    // minutes, read for many seconds); stopReading is asked meanwhile: true gives the reading
    // up (the program is quitting).
    HistoryRecorder(const QString& fileName, const Settings& settings, Data& data, HistoryStore::Reporter report = {},
                    std::function<bool()> stopReading = {});
    ~HistoryRecorder() override;

    // Whether the previous run's last hour has been read (tests).
    bool keptMinutesRead() const { return m_keptMinutesRead; }

    // From any thread.
    void record(const ProbeRecord& record);

    const DeviceStatistics& statistics() const { return m_statistics; }
    QString fileName() const { return m_fileName; }
    // Where what else belongs in the history file goes (the network watch's inventory).
    HistoryStore& store() { return m_store; }
    // Why results wait in memory rather than in the file, if they do.
    QString recordingProblem() const { return m_store.recordingProblem(); }

public slots:
    void DeviceEntryChanged(Tarnwick::DeviceEntryChangedEvent* pEvent);
    void DeviceRemoved(Tarnwick::DeviceRemovedEvent* pEvent);
    // A device became slow or recovered.
    void slowChanged(const Tarnwick::DeviceEntry& device, const Tarnwick::SlowRule::Figures& figures);
    // The device is no longer judged slow without having recovered (new limits judge it afresh,
    // or it left the list): its slow period, if one is open, ends now.
    void slowDropped(const QString& ip);

private:
    // The figures of an address no longer listed are let go; the history keeps its results.
    void forgetUnlisted(const DeviceEntry& device);

    QString m_fileName;
    const Data& m_data;
    HistoryStore m_store;
    DeviceStatistics m_statistics;
    std::atomic<bool> m_leaving{false};
    std::atomic<bool> m_keptMinutesRead{false};
    std::thread m_keptMinutesReader;
};

} // namespace Tarnwick
