// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DevicePath.h"
#include "Reachability.h"

#include <QHash>
#include <QObject>

#include <functional>

namespace Tarnwick {

// The way to each device as the path watch learnt it. Told again when any of it changes. Lives
// on the store's thread.
class DevicePaths : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    const QHash<QString, DevicePath>& all() const { return m_paths; }
    const DevicePath* path(const QString& ip) const;
    // The paths the history kept, at start.
    void setAll(QHash<QString, DevicePath> paths);
    // The way to the device now.
    void setPath(const QString& ip, DevicePath path);
    void forget(const QString& ip);

    // The links the paths teach for the devices given (those the user drew no line to): each
    // joined to the nearest device of the list on its way (isListed), through the routers off
    // the list in between; one without a listed device on its way hangs from root through all
    // its routers. A device reached directly learns nothing.
    Reachability::Links learntLinks(const QStringList& devices, const std::function<bool(const QString&)>& isListed,
                                    const QString& root) const;
    // The nearest device of the list on the way to this one; empty where there is none.
    QString learntParent(const QString& ip, const std::function<bool(const QString&)>& isListed) const;

signals:
    void pathsChanged();

private:
    QHash<QString, DevicePath> m_paths;
};

} // namespace Tarnwick
