// SPDX-License-Identifier: GPL-3.0-or-later
#include "ListedHosts.h"

#include "NameResolver.h"
#include "data/Data.h"

#include <QMutex>
#include <QMutexLocker>

namespace Tarnwick {

struct ListedHosts::Shared
{
    QMutex mutex;
    ListedHosts* owner = nullptr; // null once the object has gone
};

ListedHosts::ListedHosts(const Data& data, NameResolver& resolver, QObject* parent)
    : QObject(parent)
    , m_data(data)
    , m_resolver(resolver)
    , m_shared(std::make_shared<Shared>())
{
    m_shared->owner = this;
}

ListedHosts::~ListedHosts()
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->owner = nullptr;
}

void ListedHosts::refresh()
{
    for (const DeviceEntry& entry : m_data.entries()) {
        const QString name = entry.ip;
        if (name.isEmpty() || NameResolver::numeric(name))
            continue;
        m_resolver.resolve(name, ResolveWaitMs, [shared = m_shared, name](const NameResolver::Outcome& found) {
            const QString dotted = found.address ? found.address->toString() : QString();
            // Under the lock, the owner cannot go while its answer is posted.
            QMutexLocker lock(&shared->mutex);
            if (ListedHosts* owner = shared->owner)
                QMetaObject::invokeMethod(
                    owner, [owner, name, dotted] { owner->resolved(name, dotted); }, Qt::QueuedConnection);
        });
    }
}

void ListedHosts::resolved(const QString& name, const QString& address)
{
    const QString before = m_addressOfName.value(name);
    if (before == address)
        return;
    m_namesAt.remove(before, name);
    if (address.isEmpty()) {
        m_addressOfName.remove(name);
    } else {
        m_addressOfName.insert(name, address);
        m_namesAt.insert(address, name);
    }
    emit namesResolved();
}

bool ListedHosts::contains(const QString& address) const
{
    if (m_data.contains(address))
        return true;
    // A name taken out of the list since it was resolved no longer counts.
    for (auto it = m_namesAt.constFind(address); it != m_namesAt.cend() && it.key() == address; ++it) {
        if (m_data.contains(it.value()))
            return true;
    }
    return false;
}

QStringList ListedHosts::addresses() const
{
    QStringList all;
    for (const DeviceEntry& entry : m_data.entries()) {
        if (NameResolver::numeric(entry.ip))
            all << entry.ip;
        else if (const QString address = m_addressOfName.value(entry.ip); !address.isEmpty())
            all << address;
    }
    return all;
}

} // namespace Tarnwick
