// SPDX-License-Identifier: GPL-3.0-or-later
#include "HistoryRecorder.h"

#include "data/Data.h"
#include "data/DeviceEntryChangedEvent.h"
#include "data/Settings.h"
#include "history/HistoryReader.h"
#include "log/LogManager.h"
#include "net/PingerThread.h"

#include <QCoreApplication>
#include <QDateTime>

namespace Tarnwick {

HistoryRecorder::HistoryRecorder(const QString& fileName, const Settings& settings, Data& data)
    // The history says what went wrong from its own thread; the log is written on this one.
    : m_store(fileName, HistoryStore::Limits::fromSettings(settings), [](const QString& text) {
        QMetaObject::invokeMethod(
            qApp, [text] { LogManager::instance().log("Application", text.toStdString()); }, Qt::QueuedConnection);
    })
{
    // The last hour's figures carry on from the previous run.
    const qint64 hourAgo = QDateTime::currentMSecsSinceEpoch() - 3600 * 1000;
    for (const auto& [device, minute] : HistoryReader(fileName).recentMinutes(hourAgo))
        m_statistics.addKeptMinute(device, minute);
    PingerThread::setResultObserver([this](const ProbeRecord& record) {
        m_store.record(record);
        m_statistics.record(record);
        if (m_alsoObserve)
            m_alsoObserve(record);
    });
    connect(&data, &Data::DeviceEntryChanged, this, &HistoryRecorder::DeviceEntryChanged);
}

HistoryRecorder::~HistoryRecorder()
{
    PingerThread::setResultObserver({});
}

void HistoryRecorder::DeviceEntryChanged(DeviceEntryChangedEvent* pEvent)
{
    const DeviceEntry after = pEvent->newEntry();
    const bool connected = after.state == DeviceStateConnected;
    if (pEvent->changesState())
        m_store.recordStateChange(after.ip, QDateTime::currentMSecsSinceEpoch(), connected);
    else if (pEvent->oldEntry().awaitingFirstResult && !after.awaitingFirstResult)
        m_store.recordFirstState(after.ip, QDateTime::currentMSecsSinceEpoch(), connected);
}

} // namespace Tarnwick
