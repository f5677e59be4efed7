// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceJson.h"

#include "StateSince.h"
#include "data/Data.h"
#include "data/DeviceTypeName.h"
#include "data/MuteList.h"
#include "data/ReachabilityView.h"
#include "monitor/MonitorCore.h"
#include "monitor/SlowWatch.h"

#include <QJsonValue>

namespace Tarnwick {

namespace {

QJsonValue orNull(const std::optional<double>& value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

} // namespace

DeviceJson DeviceJson::of(const DeviceEntry& entry, MonitorCore& core, const StateSince& since, qint64 nowMs)
{
    DeviceJson device;
    device.entry = entry;
    device.sinceMs = since.sinceMs(entry.ip);
    device.slow = core.slowWatch().isSlow(entry.ip);
    device.mutedUntil = core.mutes().heardAgainAt(entry.ip);
    device.behind = core.reachability().behind(entry.ip);
    if (const DeviceStatistics* statistics = core.statistics())
        device.hour = statistics->lastHour(entry.ip, nowMs);
    return device;
}

QList<DeviceJson> DeviceJson::ofAll(MonitorCore& core, const StateSince& since)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const QList<DeviceEntry> entries = core.data().entries();
    QList<DeviceJson> devices;
    devices.reserve(entries.size());
    for (const DeviceEntry& entry : entries)
        devices << of(entry, core, since, now);
    return devices;
}

QString DeviceJson::stateText() const
{
    if (entry.awaitingFirstResult || entry.state == DeviceStateNone)
        return QStringLiteral("not yet probed");
    if (entry.state != DeviceStateConnected)
        return QStringLiteral("disconnected");
    return entry.lastProbe.kind == ProbeResult::Present ? QStringLiteral("present") : QStringLiteral("connected");
}

QString DeviceJson::checkText(const DeviceCheck& check)
{
    return check.kind == DeviceCheck::Echo ? QStringLiteral("echo") : check.attribute();
}

QString DeviceJson::time(const QDateTime& at)
{
    return at.toUTC().toString(Qt::ISODate);
}

QJsonObject DeviceJson::toJson() const
{
    const bool probed = !entry.awaitingFirstResult && entry.state != DeviceStateNone;
    const QJsonValue null(QJsonValue::Null);
    QJsonValue muted = null;
    if (mutedUntil)
        muted = mutedUntil->isValid() ? time(*mutedUntil) : QStringLiteral("until unmuted");
    return {
        {QStringLiteral("address"), entry.ip},
        {QStringLiteral("description"), entry.description},
        {QStringLiteral("type"), DeviceTypeName::of(entry.type)},
        {QStringLiteral("check"), checkText(entry.check)},
        {QStringLiteral("alerts"), entry.informOnStateChange},
        {QStringLiteral("state"), stateText()},
        {QStringLiteral("roundTripMs"),
         probed && entry.lastProbe.answered() ? QJsonValue(double(entry.lastProbe.roundTripUs) / 1000.0) : null},
        {QStringLiteral("since"), sinceMs ? QJsonValue(time(QDateTime::fromMSecsSinceEpoch(*sinceMs))) : null},
        {QStringLiteral("slow"), slow},
        {QStringLiteral("muted"), muted},
        {QStringLiteral("behind"), behind.isEmpty() ? null : QJsonValue(behind)},
        {QStringLiteral("loss"), orNull(hour.lossPercent)},
        {QStringLiteral("avg"), orNull(hour.averageMs)},
    };
}

} // namespace Tarnwick
