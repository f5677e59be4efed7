// SPDX-License-Identifier: GPL-3.0-or-later
#include "Reachability.h"

#include <QQueue>
#include <QSet>

namespace Tarnwick {

namespace {

using Neighbours = QHash<QString, QStringList>;

// Who is cut off behind whom when the devices of up are in that state all at once.
QHash<QString, QString> cutOffAtOnce(const Neighbours& neighbours, const QHash<QString, bool>& up,
                                     const QString& firstHop)
{
    QHash<QString, QString> result;
    const auto isUp = [&](const QString& ip) { return up.value(ip, true); };
    // Out from the first hop through connected devices only: a disconnected device reached
    // this way failed itself, and stops the walk.
    QSet<QString> reached{firstHop};
    QQueue<QString> open;
    QQueue<QString> failed;
    if (isUp(firstHop))
        open.enqueue(firstHop);
    else
        failed.enqueue(firstHop);
    while (!open.isEmpty()) {
        const QString at = open.dequeue();
        for (const QString& next : neighbours.value(at)) {
            if (reached.contains(next))
                continue;
            reached.insert(next);
            (isUp(next) ? open : failed).enqueue(next);
        }
    }
    // On from every failed device into what the first walk did not reach: each disconnected
    // device found so is cut off behind the failed device whose walk found it first.
    QHash<QString, QString> origin;
    for (const QString& ip : std::as_const(failed))
        origin.insert(ip, ip);
    while (!failed.isEmpty()) {
        const QString at = failed.dequeue();
        for (const QString& next : neighbours.value(at)) {
            if (reached.contains(next))
                continue;
            reached.insert(next);
            origin.insert(next, origin.value(at));
            failed.enqueue(next);
            if (!isUp(next))
                result.insert(next, origin.value(at));
        }
    }
    return result;
}

} // namespace

QHash<QString, QStringList> Reachability::neighboursOf(const Links& links)
{
    Neighbours neighbours;
    for (const auto& [a, b] : links) {
        if (a == b)
            continue;
        neighbours[a] << b;
        neighbours[b] << a;
    }
    return neighbours;
}

QHash<QString, QString> Reachability::cutOff(const Links& links, const QHash<QString, bool>& up,
                                             const QString& firstHop, const QHash<QString, Heard>& heard)
{
    if (firstHop.isEmpty())
        return {};
    const Neighbours neighbours = neighboursOf(links);
    QHash<QString, QString> result = cutOffAtOnce(neighbours, up, firstHop);
    // Fewer failures never cut more off, so only those cut off now need a second look: each
    // against the failures that had begun when it missed its first reply. A device in its way
    // that answered after that is taken as up.
    for (auto it = result.begin(); it != result.end();) {
        const qint64 missed = heard.value(it.key()).firstMiss;
        if (missed == Heard::Unknown) {
            ++it;
            continue;
        }
        QHash<QString, bool> then = up;
        for (auto device = then.begin(); device != then.end(); ++device) {
            if (!device.value() && heard.value(device.key()).lastAnswer > missed)
                device.value() = true;
        }
        const QString behind = cutOffAtOnce(neighbours, then, firstHop).value(it.key());
        if (behind.isEmpty()) {
            it = result.erase(it);
        } else {
            it.value() = behind;
            ++it;
        }
    }
    return result;
}

} // namespace Tarnwick
