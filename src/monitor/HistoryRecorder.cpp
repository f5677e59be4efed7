// SPDX-License-Identifier: GPL-3.0-or-later
#include "HistoryRecorder.h"

#include "data/Data.h"
#include "data/DeviceEntryChangedEvent.h"
#include "data/DeviceRemovedEvent.h"
#include "data/Settings.h"
#include "history/HistoryReader.h"

#include <QCoreApplication>
#include <QDateTime>

namespace Tarnwick {

namespace {

// The history speaks from its own thread; the report is made on the thread of the one who
// asked for it, through the application object, which outlives the recorder.
HistoryStore::Reporter onThisThread(HistoryStore::Reporter report)
{
    if (!report)
        return {};
    return [report = std::move(report)](const QString& text) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [report, text] { report(text); }, Qt::QueuedConnection);
    };
}

} // namespace

HistoryRecorder::HistoryRecorder(const QString& fileName, const Settings& settings, Data& data,
                                 HistoryStore::Reporter report, std::function<bool()> stopReading)
    : m_fileName(fileName)
    , m_data(data)
    , m_store(fileName, HistoryStore::Limits::fromSettings(settings), onThisThread(std::move(report)))
{
    // The last hour's figures and the day's spread carry on from the previous run.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    m_keptMinutesReader = std::thread([this, fileName, now, stop = std::move(stopReading)] {
        const auto goOn = [&] { return !m_leaving && !(stop && stop()); };
        const HistoryReader reader(fileName);
        reader.forEachRecentMinute(now - 3600 * 1000, [&](const QString& device, const HistoryReader::Bucket& minute) {
            if (!goOn())
                return false;
            m_statistics.addKeptMinute(device, minute);
            return true;
        });
        reader.forEachSketchSpan(now - 24 * 3600 * 1000,
                                 [&](const QString& device, qint64 startMs, const LatencySketch& sketch) {
                                     if (!goOn())
                                         return false;
                                     m_statistics.addKeptSixHours(device, startMs, sketch);
                                     return true;
                                 });
        m_keptMinutesRead = true;
    });
    data.connectReceiver(this);
}

HistoryRecorder::~HistoryRecorder()
{
    m_leaving = true;
    m_keptMinutesReader.join();
}

void HistoryRecorder::record(const ProbeRecord& record)
{
    m_store.record(record);
    m_statistics.record(record);
}

void HistoryRecorder::DeviceEntryChanged(DeviceEntryChangedEvent* pEvent)
{
    const DeviceEntry& after = pEvent->newEntry();
    const bool connected = after.state == DeviceStateConnected;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const bool firstResult = pEvent->oldEntry().awaitingFirstResult && !after.awaitingFirstResult;
    if (pEvent->oldEntry().ip != after.ip)
        forgetUnlisted(pEvent->oldEntry());
    // Another check's loss and round trips say nothing of this one's; the history keeps them.
    if (pEvent->oldEntry().check != after.check)
        m_statistics.forget(after.ip);
    for (const DeviceCheck& check : pEvent->oldEntry().moreChecks) {
        if (!after.moreChecks.contains(check))
            m_statistics.forget(DeviceEntry::checkKey(pEvent->oldEntry().ip, check));
    }
    if (pEvent->changesState())
        m_store.recordStateChange(after.ip, now, connected);
    else if (firstResult)
        m_store.recordFirstState(after.ip, now, connected);
    // A device is slow only while it answers, and each run judges it afresh: going down, or a
    // previous run that ended while it was slow, closes its slow period.
    if ((pEvent->changesState() && !connected) || firstResult)
        m_store.recordSlowEnded(after.ip, now);
}

void HistoryRecorder::DeviceRemoved(DeviceRemovedEvent* pEvent)
{
    forgetUnlisted(pEvent->entry());
}

void HistoryRecorder::forgetUnlisted(const DeviceEntry& device)
{
    // Another entry may still have the address.
    if (m_data.contains(device.ip))
        return;
    m_statistics.forget(device.ip);
    for (const DeviceCheck& check : device.moreChecks)
        m_statistics.forget(DeviceEntry::checkKey(device.ip, check));
}

void HistoryRecorder::slowChanged(const DeviceEntry& device, const SlowRule::Figures& figures)
{
    m_store.recordSlowChange(device.ip, QDateTime::currentMSecsSinceEpoch(), figures.slow);
}

void HistoryRecorder::slowDropped(const QString& ip)
{
    m_store.recordSlowEnded(ip, QDateTime::currentMSecsSinceEpoch());
}

} // namespace Tarnwick
