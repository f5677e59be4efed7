// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReverseNameLookup.h"

#include <QMutex>
#include <QMutexLocker>
#include <QPointer>
#include <QQueue>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <thread>

namespace Tarnwick {

struct ReverseNameLookup::Shared
{
    QMutex mutex;
    QQueue<QString> waiting;
    int workers = 0;
    ReverseNameLookup* owner = nullptr; // null once the object has gone
};

ReverseNameLookup::ReverseNameLookup(QObject* parent)
    : QObject(parent)
    , m_shared(std::make_shared<Shared>())
{
    m_shared->owner = this;
}

ReverseNameLookup::~ReverseNameLookup()
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->owner = nullptr;
    m_shared->waiting.clear();
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
    QMutexLocker lock(&m_shared->mutex);
    m_shared->waiting.enqueue(address);
    if (m_shared->workers >= Workers)
        return;
    ++m_shared->workers;
    // Detached: a worker held up by a name server never holds up whoever closes the dialog.
    std::thread([shared = m_shared] {
        for (;;) {
            QString next;
            {
                QMutexLocker taking(&shared->mutex);
                if (shared->waiting.isEmpty() || !shared->owner) {
                    --shared->workers;
                    return;
                }
                next = shared->waiting.dequeue();
            }
            const QString name = nameOf(next);
            // Under the lock, the owner cannot go while its answer is posted.
            QMutexLocker telling(&shared->mutex);
            if (shared->owner && !name.isEmpty()) {
                ReverseNameLookup* owner = shared->owner;
                QMetaObject::invokeMethod(
                    owner, [owner, next, name] { emit owner->nameFound(next, name); }, Qt::QueuedConnection);
            }
        }
    }).detach();
}

} // namespace Tarnwick
