// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/Reachability.h"

#include <QHash>
#include <QObject>
#include <QTimer>

namespace Tarnwick {

class Data;
class VisualRepresentationData;

// Works out, shortly after any change of the devices' states, of the map's lines or of the
// first hop, which disconnected devices are only cut off behind a failed one, and publishes it
// (Reachability::behind) for the map and the device list. It keeps the order in which devices
// answered and missed, so that a device that failed before the one it sits behind keeps its
// own failure.
class ReachabilityWatcher : public QObject
{
    Q_OBJECT

public:
    ReachabilityWatcher(Data& data, VisualRepresentationData& map, QObject* parent = nullptr);
    ~ReachabilityWatcher() override;

    // Works it out at once.
    void recompute();

    // The watcher of the running program, if there is one.
    static ReachabilityWatcher* instance();

signals:
    void reachabilityChanged();

private:
    void heard(const QString& ip, bool answered);

    Data& m_data;
    VisualRepresentationData& m_map;
    QTimer m_soon;
    QHash<QString, Reachability::Heard> m_heard;
    qint64 m_tick = 0;
};

} // namespace Tarnwick
