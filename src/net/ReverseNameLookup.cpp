// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReverseNameLookup.h"

#include <QMutex>
#include <QMutexLocker>
#include <QThreadPool>

#include <netdb.h>
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
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* numeric = nullptr;
    if (::getaddrinfo(address.toLatin1().constData(), nullptr, &hints, &numeric) != 0)
        return {};
    char host[NI_MAXHOST] = {};
    const int failed = ::getnameinfo(numeric->ai_addr, numeric->ai_addrlen, host, sizeof host, nullptr, 0, NI_NAMEREQD);
    ::freeaddrinfo(numeric);
    return failed != 0 ? QString() : QString::fromUtf8(host);
}

void ReverseNameLookup::lookUp(const QString& address)
{
    m_pool->start([shared = m_shared, address] {
        const QString name = nameOf(address);
        // Under the lock, the owner cannot go while its answer is posted.
        QMutexLocker telling(&shared->mutex);
        if (ReverseNameLookup* owner = shared->owner) {
            QMetaObject::invokeMethod(
                owner,
                [owner, address, name] {
                    if (name.isEmpty())
                        emit owner->noNameFound(address);
                    else
                        emit owner->nameFound(address, name);
                },
                Qt::QueuedConnection);
        }
    });
}

} // namespace Tarnwick
