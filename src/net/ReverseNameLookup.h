// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QThreadPool;

namespace Tarnwick {

// Finds the names of IPv4 and IPv6 addresses (reverse DNS, or the hosts file) on threads of its
// own, a few at a time, and tells each answer (nameFound, or noNameFound) on the thread that owns
// this object. Nothing ever waits for a look-up: one that a slow name server holds up goes on
// alone, and its answer is dropped if this object has gone meanwhile; the addresses still
// waiting for a thread go with the object.
class ReverseNameLookup : public QObject
{
    Q_OBJECT

public:
    static constexpr int Workers = 4;

    explicit ReverseNameLookup(QObject* parent = nullptr);
    ~ReverseNameLookup() override;

    void lookUp(const QString& address);

    // The name of a numeric address (IPv6 with its "%interface" where link-local), waited for;
    // empty where there is none.
    static QString nameOf(const QString& address);

signals:
    void nameFound(const QString& address, const QString& name);
    void noNameFound(const QString& address);

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    // Owned, but let go with the object while a look-up hangs in it: its thread ends with that
    // look-up.
    std::unique_ptr<QThreadPool> m_pool;
};

} // namespace Tarnwick
