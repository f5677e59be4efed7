// SPDX-License-Identifier: GPL-3.0-or-later
#include "StateSince.h"

#include "data/Data.h"
#include "data/DeviceAddedEvent.h"

#include <QDateTime>

namespace Tarnwick {

StateSince::StateSince(Data& data, QString historyFile, QObject* parent)
    : QObject(parent)
    , m_historyFile(std::move(historyFile))
{
    // Devices known before this started are in their state since now, as far as it can tell;
    // from here on only first results, changes and new addresses set the time, so that the
    // thousands of results that change nothing cost no look-up here.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (const DeviceEntry& entry : data.entries()) {
        if (!entry.awaitingFirstResult)
            m_since.insert(entry.ip, now);
    }
    data.connectReceiver(this);
}

std::optional<qint64> StateSince::sinceMs(const QString& ip) const
{
    const auto since = m_since.constFind(ip);
    return since == m_since.cend() ? std::nullopt : std::optional<qint64>(*since);
}

void StateSince::DeviceEntryChanged(DeviceEntryChangedEvent* pEvent)
{
    const DeviceEntry& before = pEvent->oldEntry();
    const DeviceEntry& after = pEvent->newEntry();
    const bool newAddress = after.ip != before.ip;
    if (newAddress)
        m_since.remove(before.ip);
    if (after.awaitingFirstResult)
        return;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (before.awaitingFirstResult) {
        if (!m_before)
            m_before = HistoryReader(m_historyFile).lastStateChanges(now + 1);
        const auto last = m_before->constFind(after.ip);
        const bool agrees = last != m_before->cend() && last->connected == (after.state == DeviceStateConnected);
        m_since.insert(after.ip, agrees ? last->atMs : now);
    } else if (after.state != before.state || newAddress) {
        m_since.insert(after.ip, now);
    }
}

void StateSince::DeviceAdded(DeviceAddedEvent* pEvent)
{
    // One that will not wait for a first result is in its state from now on.
    if (!pEvent->entry().awaitingFirstResult)
        m_since.insert(pEvent->entry().ip, QDateTime::currentMSecsSinceEpoch());
}

void StateSince::DeviceRemoved(DeviceRemovedEvent* pEvent)
{
    m_since.remove(pEvent->entry().ip);
}

} // namespace Tarnwick
