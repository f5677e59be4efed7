// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "SlowRule.h"
#include "data/SlowView.h"

#include <QHash>
#include <QList>
#include <QSet>

namespace Tarnwick {

class Data;
class DeviceAddedEvent;
class DeviceEntry;
class DeviceEntryChangedEvent;
class DeviceRemovedEvent;
class Settings;
struct ProbeRecord;

// Judges every connected device by its last results (SlowRule, with its own limits where it has
// them and the settings' otherwise) and tells when one becomes slow or recovers. A device that
// goes down is no longer judged: its results start again when it is back. Lives on the store's
// thread, and takes the results there.
class SlowWatch : public SlowView
{
    Q_OBJECT

public:
    SlowWatch(Data& data, const Settings& settings, QObject* parent = nullptr);

    // Results of the monitor, once the store has taken them.
    void record(const QList<ProbeRecord>& results);
    bool isSlow(const QString& ip) const override;

signals:
    // The device as the store has it now, with the figures that decided.
    void slowChanged(const Tarnwick::DeviceEntry& device, const Tarnwick::SlowRule::Figures& figures);
    // The first judgement since the device's results started (again) found it not slow.
    void judgedNotSlow(const Tarnwick::DeviceEntry& device, const Tarnwick::SlowRule::Figures& figures);

public slots:
    void DeviceEntryChanged(Tarnwick::DeviceEntryChangedEvent* pEvent);
    void DeviceAdded(Tarnwick::DeviceAddedEvent* pEvent);
    void DeviceRemoved(Tarnwick::DeviceRemovedEvent* pEvent);

private:
    // Whether any device has a limit on: with none (the settings' are off by default) a result
    // has nothing to be judged by, and costs no look-up.
    bool judgesAny() const;
    // Keeps the devices whose own limits turn a test on.
    void noteOwnLimits(const DeviceEntry& device);
    void take(const QString& ip, const ProbeResult& result);
    // The device's own limits where it has them, the settings' otherwise.
    SlowRule::Limits limits(const DeviceEntry& device) const;
    void forgetAll();
    // Judges the device afresh, quietly; the views hear it if it was slow.
    void forget(const QString& ip, const SlowRule::Limits& limits);

    Data& m_data;
    const Settings& m_settings;
    QHash<QString, SlowRule> m_rules;
    QSet<QString> m_withOwnLimits;
};

} // namespace Tarnwick
