// SPDX-License-Identifier: GPL-3.0-or-later
#include "SlowWatch.h"

#include "data/Data.h"
#include "data/DeviceAddedEvent.h"
#include "data/DeviceEntryChangedEvent.h"
#include "data/DeviceRemovedEvent.h"
#include "data/ProbeRecord.h"
#include "data/Settings.h"

#include <optional>
#include <utility>

namespace Tarnwick {

SlowWatch::SlowWatch(Data& data, const Settings& settings, QObject* parent)
    : SlowView(parent)
    , m_data(data)
    , m_settings(settings)
{
    data.connectReceiver(this);
    for (const DeviceEntry& device : data.entries())
        noteOwnLimits(device);
    // New limits judge from new results: figures gathered under the old ones say nothing of them.
    settings.onChange(&Settings::slowAverageMs, this, [this] { forgetAll(); });
    settings.onChange(&Settings::slowLossPercent, this, [this] { forgetAll(); });
    settings.onChange(&Settings::slowResults, this, [this] { forgetAll(); });
}

void SlowWatch::record(const QList<ProbeRecord>& results)
{
    if (!judgesAny())
        return;
    for (const ProbeRecord& record : results)
        take(record.device, record.result);
}

bool SlowWatch::isSlow(const QString& ip) const
{
    const auto rule = m_rules.constFind(ip);
    return rule != m_rules.cend() && rule->slow();
}

void SlowWatch::DeviceEntryChanged(DeviceEntryChangedEvent* pEvent)
{
    const DeviceEntry& before = pEvent->oldEntry();
    const DeviceEntry& after = pEvent->newEntry();
    if (before.slowLimits != after.slowLimits || before.ip != after.ip) {
        m_withOwnLimits.remove(before.ip);
        noteOwnLimits(after);
    }
    // A new check is judged from its own results, and new limits of its own too: told now, as
    // no result may come to tell it once no device has a limit on.
    if ((before.check != after.check || before.slowLimits != after.slowLimits) && m_rules.contains(after.ip))
        forget(after.ip, limits(after));
}

void SlowWatch::DeviceAdded(DeviceAddedEvent* pEvent)
{
    noteOwnLimits(pEvent->entry());
}

void SlowWatch::DeviceRemoved(DeviceRemovedEvent* pEvent)
{
    const QString ip = pEvent->entry().ip;
    m_withOwnLimits.remove(ip);
    const bool wasSlow = isSlow(ip);
    m_rules.remove(ip);
    if (wasSlow)
        emit slownessChanged(ip);
}

void SlowWatch::take(const QString& ip, const ProbeResult& result)
{
    // The store has taken this result before the monitor handed it on. Only the rare news
    // needs the whole entry.
    struct Seen
    {
        bool connected;
        SlowRule::Limits own;
    };
    const std::optional<Seen> seen = m_data.readEntry(ip, [this](const DeviceEntry* device) -> std::optional<Seen> {
        if (!device)
            return std::nullopt;
        return Seen{device->state == DeviceStateConnected, limits(*device)};
    });
    if (!seen)
        return;
    auto rule = m_rules.find(ip);
    if (rule == m_rules.end())
        rule = m_rules.insert(ip, SlowRule(seen->own));
    // Slow is news only of a device that answers: its going down is told as such.
    if (!seen->connected) {
        forget(ip, seen->own);
        return;
    }
    // Limits of its own that changed judge from new results, as new settings do.
    if (rule->limits() != seen->own)
        forget(ip, seen->own);
    const bool judgedBefore = rule->judged();
    if (const auto figures = rule->take(result)) {
        emit slowChanged(m_data.entry(ip), *figures);
        emit slownessChanged(ip);
    } else if (!judgedBefore && rule->judged()) {
        emit judgedNotSlow(m_data.entry(ip), rule->figures());
    }
}

SlowRule::Limits SlowWatch::limits(const DeviceEntry& device) const
{
    const DeviceEntry::SlowLimits& own = device.slowLimits;
    return {own.averageMs.value_or(m_settings.slowAverageMs.load()),
            own.lossPercent.value_or(m_settings.slowLossPercent.load()),
            own.results.value_or(m_settings.slowResults.load())};
}

bool SlowWatch::judgesAny() const
{
    return m_settings.slowAverageMs.load() > 0 || m_settings.slowLossPercent.load() > 0 || !m_withOwnLimits.isEmpty();
}

void SlowWatch::noteOwnLimits(const DeviceEntry& device)
{
    const DeviceEntry::SlowLimits& own = device.slowLimits;
    if (own.averageMs.value_or(0) > 0 || own.lossPercent.value_or(0) > 0)
        m_withOwnLimits.insert(device.ip);
}

void SlowWatch::forgetAll()
{
    const auto rules = std::exchange(m_rules, {});
    for (auto rule = rules.cbegin(); rule != rules.cend(); ++rule) {
        if (rule->slow())
            emit slownessChanged(rule.key());
    }
}

void SlowWatch::forget(const QString& ip, const SlowRule::Limits& limits)
{
    SlowRule& rule = m_rules[ip];
    const bool wasSlow = rule.slow();
    rule.reset(limits);
    if (wasSlow)
        emit slownessChanged(ip);
}

} // namespace Tarnwick
