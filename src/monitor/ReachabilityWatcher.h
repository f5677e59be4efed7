// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/Reachability.h"
#include "data/ReachabilityView.h"

#include <QHash>
#include <QSet>
#include <QTimer>

namespace Tarnwick {

class Data;
class DevicePaths;
class DeviceAddedEvent;
class DeviceEntryChangedEvent;
class DeviceRemovedEvent;
class Settings;
class VisualRepresentationData;

// Works out, shortly after any change of the devices' states, of the map's lines, of the
// first hop or of the paths learnt, which disconnected devices are only cut off behind a failed
// one, and keeps the result for the map, the device list and the announcer. A device the user
// drew no line to hangs from the nearest listed device on its path, where the path watch learnt
// one; lines drawn always win. It keeps the order in which devices answered and missed, so that
// a device that failed before the one it sits behind keeps its own failure. Lives on the
// store's thread.
class ReachabilityWatcher : public ReachabilityView
{
    Q_OBJECT

public:
    // paths: the ways the path watch learnt; none learns none.
    ReachabilityWatcher(Data& data, VisualRepresentationData& map, const Settings& settings,
                        const DevicePaths* paths = nullptr, QObject* parent = nullptr);

    // Works it out at once.
    void recompute();
    // Whether a device can be cut off behind another at all: there is a first hop, or a path
    // learnt through a device of the list or a router off it.
    bool groupsFailures() const;
    // The devices on the way from the first hop (or this computer) to this one, nearest first,
    // by the map's lines and the paths learnt; none for a device on no way.
    QStringList wayBack(const QString& ip) const;
    // The devices whose way runs through this one, nearest first, at most that many.
    QStringList wayOn(const QString& ip, int most) const;

    QString behind(const QString& ip) const override;
    QString behindText(const QString& ip) const override;
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
    // Orders the device's result among the others' while there is a root: without one nothing
    // is cut off, and a large list costs no look-up per result.
    void heard(const QString& ip, bool answered);
    void lookSoon();
    Reachability::Links links() const;
    // The map's lines, then the links the paths teach (worked out again only when the paths,
    // the lines or the list change).
    const Reachability::Links& learntLinks() const;
    // Works out the ways out from the root along the links, once for the links as they are.
    void knowTheWaysOut() const;
    // Where every way starts: the first hop, or this computer where only paths were learnt.
    QString root() const;
    // The states of the first hop and of the devices joined on the map: whether each is fine (up, and not
    // among the slow ones).
    QHash<QString, bool> statesOnTheWay(const Reachability::Links& links, const QSet<QString>& slow) const;

    Data& m_data;
    VisualRepresentationData& m_map;
    const Settings& m_settings;
    const DevicePaths* m_paths;
    mutable Reachability::Links m_learnt;
    mutable bool m_learntKnown = false;
    // Each device's neighbour one step nearer the root, out from it along the links; worked
    // out with the learnt links.
    mutable QHash<QString, QString> m_towardsRoot;
    // The other way round: the neighbours one step further out, by device.
    mutable QHash<QString, QStringList> m_awayFromRoot;
    mutable bool m_towardsRootKnown = false;
    QTimer m_soon;
    QHash<QString, Reachability::Heard> m_heard;
    QHash<QString, QString> m_cutOff;
    qint64 m_tick = 0;
};

} // namespace Tarnwick
