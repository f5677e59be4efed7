// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>

namespace Tarnwick {

class Data;
class VisualRepresentationData;

// Works out, shortly after any change of the devices' states, of the map's lines or of the
// first hop, which disconnected devices are only cut off behind a failed one, and publishes it
// (Reachability::behind) for the map and the device list.
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
    Data& m_data;
    VisualRepresentationData& m_map;
    QTimer m_soon;
    QString m_lastFirstHop;
};

} // namespace Tarnwick
