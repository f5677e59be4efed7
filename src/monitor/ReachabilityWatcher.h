// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/Reachability.h"
#include "data/ReachabilityView.h"

#include <QHash>
#include <QSet>
#include <QTimer>

namespace Tarnwick {

class Data;
class DeviceAddedEvent;
class DeviceEntryChangedEvent;
class DeviceRemovedEvent;
class Settings;
class VisualRepresentationData;

// Works out, shortly after any change of the devices' states, of the map's lines or of the
// first hop, which disconnected devices are only cut off behind a failed one, and keeps the
// result for the map, the device list and the announcer. It keeps the order in which devices
// answered and missed, so that a device that failed before the one it sits behind keeps its
// own failure. Lives on the store's thread.
class ReachabilityWatcher : public ReachabilityView
{
    Q_OBJECT

public:
    ReachabilityWatcher(Data& data, VisualRepresentationData& map, const Settings& settings, QObject* parent = nullptr);

    // Works it out at once.
    void recompute();

    QString behind(const QString& ip) const override;
    int countBehind(const QString& ip) const override;
    // For each of the slow devices given that is slow only because of another: the slow or
    // failed device it sits behind (every path of it back to the first hop passes through
    // one), by address. Without a first hop, none.
    QHash<QString, QString> slowBehind(const QSet<QString>& slow) const;

public slots:
    void DeviceEntryChanged(Tarnwick::DeviceEntryChangedEvent* pEvent);
    void DeviceAdded(Tarnwick::DeviceAddedEvent* pEvent);
    void DeviceRemoved(Tarnwick::DeviceRemovedEvent* pEvent);

private:
    void heard(const QString& ip, bool answered);
    void lookSoon();
    Reachability::Links links() const;
    // The states of the first hop and of the devices joined on the map: whether each is fine (up, and not
    // among the slow ones).
    QHash<QString, bool> statesOnTheWay(const Reachability::Links& links, const QSet<QString>& slow) const;

    Data& m_data;
    VisualRepresentationData& m_map;
    const Settings& m_settings;
    QTimer m_soon;
    QHash<QString, Reachability::Heard> m_heard;
    QHash<QString, QString> m_cutOff;
    qint64 m_tick = 0;
};

} // namespace Tarnwick
