// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReverseNameLookup.h"

#include <QMutex>
#include <QMutexLocker>
#include <QThreadPool>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace Tarnwick {

struct ReverseNameLookup::Shared
{
    QMutex mutex;
    ReverseNameLookup* owner = nullptr; // null once the object has gone
};

ReverseNameLookup::ReverseNameLookup(QObject* parent)
    : QObject(parent)
    , m_shared(std::make_shared<Shared>())
    , m_pool(std::make_unique<QThreadPool>())
{
    m_shared->owner = this;
    m_pool->setMaxThreadCount(Workers);
}

ReverseNameLookup::~ReverseNameLookup()
{
    {
        QMutexLocker lock(&m_shared->mutex);
        m_shared->owner = nullptr;
    }
    m_pool->clear();
    if (!m_pool->waitForDone(0))
        (void)m_pool.release();
}

QString ReverseNameLookup::nameOf(const QString& address)
{
    sockaddr_in socketAddress{};
    socketAddress.sin_family = AF_INET;
    if (::inet_pton(AF_INET, address.toLatin1().constData(), &socketAddress.sin_addr) != 1)
        return {};
    char host[NI_MAXHOST] = {};
    if (::getnameinfo(reinterpret_cast<const sockaddr*>(&socketAddress), sizeof socketAddress, host, sizeof host,
                      nullptr, 0, NI_NAMEREQD)
        != 0)
        return {};
    return QString::fromUtf8(host);
}

void ReverseNameLookup::lookUp(const QString& address)
{
    m_pool->start([shared = m_shared, address] {
        const QString name = nameOf(address);
        // Under the lock, the owner cannot go while its answer is posted.
        QMutexLocker telling(&shared->mutex);
        if (shared->owner && !name.isEmpty()) {
            ReverseNameLookup* owner = shared->owner;
            QMetaObject::invokeMethod(
                owner, [owner, address, name] { emit owner->nameFound(address, name); }, Qt::QueuedConnection);
        }
    });
}

} // namespace Tarnwick
