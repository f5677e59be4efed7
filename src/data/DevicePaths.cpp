// SPDX-License-Identifier: GPL-3.0-or-later
#include "DevicePaths.h"

#include <QSet>

namespace Tarnwick {

const DevicePath* DevicePaths::path(const QString& ip) const
{
    const auto found = m_paths.constFind(ip);
    return found == m_paths.constEnd() ? nullptr : &*found;
}

void DevicePaths::setAll(QHash<QString, DevicePath> paths)
{
    m_paths = std::move(paths);
    emit pathsChanged();
}

void DevicePaths::setPath(const QString& ip, DevicePath path)
{
    const auto known = m_paths.constFind(ip);
    if (known != m_paths.constEnd() && *known == path)
        return;
    m_paths.insert(ip, std::move(path));
    emit pathsChanged();
}

void DevicePaths::forget(const QString& ip)
{
    if (m_paths.remove(ip))
        emit pathsChanged();
}

Reachability::Links DevicePaths::learntLinks(const QStringList& devices,
                                             const std::function<bool(const QString&)>& isListed,
                                             const QString& root) const
{
    Reachability::Links links;
    for (const QString& ip : devices) {
        const DevicePath* way = path(ip);
        if (!way || way->routers.isEmpty())
            continue;
        // Back from the device to the nearest listed router, or to root.
        QString below = ip;
        bool joined = false;
        for (auto router = way->routers.crbegin(); router != way->routers.crend(); ++router) {
            if (router->isEmpty() || *router == ip)
                continue;
            links << qMakePair(*router, below);
            if (isListed(*router)) {
                joined = true;
                break;
            }
            below = *router;
        }
        if (!joined)
            links << qMakePair(root, below);
    }
    // A device the others hang from that hangs from none itself (reached directly, or with a
    // path not learnt) hangs from root.
    QSet<QString> children;
    for (const auto& link : std::as_const(links))
        children << link.second;
    QSet<QString> tops;
    for (const auto& link : std::as_const(links))
        if (!children.contains(link.first) && link.first != root)
            tops << link.first;
    for (const QString& top : std::as_const(tops))
        links << qMakePair(root, top);
    return links;
}

QString DevicePaths::learntParent(const QString& ip, const std::function<bool(const QString&)>& isListed) const
{
    const DevicePath* way = path(ip);
    if (!way)
        return {};
    for (auto router = way->routers.crbegin(); router != way->routers.crend(); ++router)
        if (!router->isEmpty() && *router != ip && isListed(*router))
            return *router;
    return {};
}

} // namespace Tarnwick
