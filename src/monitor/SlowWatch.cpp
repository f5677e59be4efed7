// SPDX-License-Identifier: GPL-3.0-or-later
#include "SlowWatch.h"

#include "data/Data.h"
#include "data/DeviceRemovedEvent.h"
#include "data/ProbeRecord.h"
#include "data/Settings.h"

namespace Tarnwick {

SlowWatch::SlowWatch(Data& data, const Settings& settings, QObject* parent)
    : QObject(parent)
    , m_data(data)
    , m_settings(settings)
{
    data.connectReceiver(this);
    // New limits judge from new results: figures gathered under the old ones say nothing of them.
    settings.onChange(&Settings::slowAverageMs, this, [this] { forgetAll(); });
    settings.onChange(&Settings::slowLossPercent, this, [this] { forgetAll(); });
    settings.onChange(&Settings::slowResults, this, [this] { forgetAll(); });
}

void SlowWatch::record(const QList<ProbeRecord>& results)
{
    for (const ProbeRecord& record : results)
        take(record.device, record.result);
}

bool SlowWatch::isSlow(const QString& ip) const
{
    const auto rule = m_rules.constFind(ip);
    return rule != m_rules.cend() && rule->slow();
}

void SlowWatch::DeviceRemoved(DeviceRemovedEvent* pEvent)
{
    m_rules.remove(pEvent->entry().ip);
}

void SlowWatch::take(const QString& ip, const ProbeResult& result)
{
    // The store has taken this result before the monitor handed it on.
    const DeviceEntry device = m_data.entry(ip);
    if (device.ip.isEmpty()) {
        m_rules.remove(ip);
        return;
    }
    auto rule = m_rules.find(ip);
    if (rule == m_rules.end())
        rule = m_rules.insert(ip, SlowRule(limits()));
    // Slow is news only of a device that answers: its going down is told as such.
    if (device.state != DeviceStateConnected) {
        rule->reset(limits());
        return;
    }
    if (const auto figures = rule->take(result))
        emit slowChanged(device, *figures);
}

SlowRule::Limits SlowWatch::limits() const
{
    return {m_settings.slowAverageMs.load(), m_settings.slowLossPercent.load(), m_settings.slowResults.load()};
}

void SlowWatch::forgetAll()
{
    m_rules.clear();
}

} // namespace Tarnwick
