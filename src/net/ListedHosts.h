// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace Tarnwick {

class Data;
class NameResolver;

// Whether the device list holds an IPv4 address: as an entry's own address, or as the address
// that an entry's host name resolves to. The names are resolved off the GUI thread; each answer
// is told through namesResolved on the thread that owns this object, so that whoever shows the
// answer can ask again. Answers that come after this object has gone are dropped.
class ListedHosts : public QObject
{
    Q_OBJECT

public:
    // How long one name may take before it counts as unresolved for now.
    static constexpr int ResolveWaitMs = 3000;

    // resolver: must outlive this object.
    ListedHosts(const Data& data, NameResolver& resolver, QObject* parent = nullptr);
    ~ListedHosts() override;

    // Resolves the host names of the list's entries as they are now.
    void refresh();
    // Whether the list holds this dotted address, itself or through a name resolved so far.
    bool contains(const QString& address) const;
    // Every address the list holds: the entries' own numeric ones, and those their names
    // resolved to so far.
    QStringList addresses() const;

signals:
    void namesResolved();

private:
    struct Shared;

    void resolved(const QString& name, const QString& address);

    const Data& m_data;
    NameResolver& m_resolver;
    std::shared_ptr<Shared> m_shared;
    QHash<QString, QString> m_addressOfName; // dotted address by host name
    QMultiHash<QString, QString> m_namesAt; // host names by the dotted address they resolve to
};

} // namespace Tarnwick
