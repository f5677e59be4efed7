// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

namespace Tarnwick {

// What the views ask about reachability: which failed device a disconnected one is cut off
// behind, and how many are cut off behind a failed one. Told again when it changes.
class ReachabilityView : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // The failed device this one is cut off behind; empty when it is not cut off.
    virtual QString behind(const QString& ip) const = 0;
    // The same as people read it, in English: the address, or "10.9.9.1, not in your list" for a
    // router off the list.
    virtual QString behindText(const QString& ip) const { return behind(ip); }
    // behindText in the language of the window (only a router off the list has words to translate).
    QString behindShown(const QString& ip) const;
    virtual int countBehind(const QString& ip) const = 0;

signals:
    void reachabilityChanged();
};

} // namespace Tarnwick
