// SPDX-License-Identifier: GPL-3.0-or-later
#include "alert/DesktopNotifier.h"
#include "data/PhraseBook.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace Tarnwick {

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");
// "default" is a click on the notification itself, which shows the device as "Show" does.
const QString DefaultAction = QStringLiteral("default");
const QString ShowAction = QStringLiteral("show");

// "Show" on a message about several devices shows the first it names.
QString shownAddress(const Alert& alert)
{
    return alert.devices.isEmpty() ? alert.address : alert.devices.first().address;
}

// The freedesktop hints of an alert's weight: a device down is critical and stays until it is
// clicked or the device is back; being back, and slowness, are normal. Urgency is a byte.
struct Weight
{
    uchar urgency = 1;
    QString category;
    qint32 expireMs = -1; // the service's own time; 0: until closed
};

// The notification an alert replaces where one is shown: the last of its group (a group that
// grows); a device's being back takes the place of its being down, and a new fall that of its
// being back.
QString notificationKey(const Alert& alert)
{
    if (alert.kind == Alert::Kinds::Up && !alert.address.isEmpty())
        return Alert::groupKeyOf(alert.address, Alert::Kinds::Down);
    return alert.groupKey;
}

Weight weightOf(const Alert& alert)
{
    if (alert.kind == Alert::Kinds::Down)
        return {2, QStringLiteral("network.disconnected"), 0};
    if (alert.kind == Alert::Kinds::Up)
        return {1, QStringLiteral("network.connected"), -1};
    if (alert.kind == Alert::Kinds::Slow || alert.kind == Alert::Kinds::NoLongerSlow)
        return {1, QStringLiteral("network"), -1};
    return {};
}

} // namespace

DesktopNotifier::DesktopNotifier(const QDBusConnection& bus, const QString& iconName, QObject* parent)
    : QObject(parent)
    , m_bus(bus)
    , m_iconName(iconName)
{
    m_bus.connect(Service, Path, Interface, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(Service, Path, Interface, QStringLiteral("NotificationClosed"), this, SLOT(onClosed(uint, uint)));
}

bool DesktopNotifier::isAvailable() const
{
    QDBusConnectionInterface* bus = m_bus.interface();
    if (!m_bus.isConnected() || !bus)
        return false;
    return bus->isServiceRegistered(Service).value() || bus->activatableServiceNames().value().contains(Service);
}

void DesktopNotifier::notify(const Alert& alert)
{
    if (!m_bodyMarkup) {
        m_beforeCapabilities << alert;
        askCapabilities();
        return;
    }
    const QString key = notificationKey(alert);
    if (!key.isEmpty() && m_pendingKeys.contains(key)) {
        m_nextForKey.insert(key, alert);
        return;
    }
    send(alert, key.isEmpty() ? 0 : m_idOfKey.value(key));
}

void DesktopNotifier::askCapabilities()
{
    if (m_askingCapabilities)
        return;
    m_askingCapabilities = true;
    const QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface,
                                                             QStringLiteral("GetCapabilities"));
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        const QDBusPendingReply<QStringList> reply = *finished;
        m_askingCapabilities = false;
        // A service that does not say is taken to show bodies as plain text, as the protocol allows.
        m_bodyMarkup = reply.isValid() && reply.value().contains(QStringLiteral("body-markup"));
        for (const Alert& alert : std::exchange(m_beforeCapabilities, {}))
            notify(alert);
    });
}

void DesktopNotifier::send(const Alert& alert, uint replaces)
{
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("Notify"));
    const QStringList actions{DefaultAction, tr("Show"), ShowAction, tr("Show")};
    const Weight weight = weightOf(alert);
    QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("tarnwick")},
                      {QStringLiteral("urgency"), QVariant::fromValue(weight.urgency)}};
    if (!weight.category.isEmpty())
        hints.insert(QStringLiteral("category"), weight.category);
    // The alert is made in English for every channel; the person at the desktop reads their language.
    const QString text = PhraseBook::translate(alert.text);
    call << QStringLiteral("Tarnwick") << replaces << m_iconName << PhraseBook::translate(alert.title)
         << (*m_bodyMarkup ? text.toHtmlEscaped() : text) << actions << hints << weight.expireMs;
    if (const QString key = notificationKey(alert); !key.isEmpty())
        m_pendingKeys.insert(key);
    // The daemon shows the new text under the old id as soon as it reads this call, and a click
    // on it can come back before our answer does: the id names the new device from now on.
    if (replaces != 0)
        m_addressOfId.insert(replaces, shownAddress(alert));
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, alert, replaces](QDBusPendingCallWatcher* finished) { answered(finished, alert, replaces); });
}

void DesktopNotifier::answered(QDBusPendingCallWatcher* call, const Alert& alert, uint replaced)
{
    call->deleteLater();
    const QDBusPendingReply<uint> reply = *call;
    const QString key = notificationKey(alert);
    uint id = 0;
    if (reply.isValid()) {
        id = reply.value();
        if (replaced != 0 && replaced != id)
            m_addressOfId.remove(replaced);
        m_addressOfId.insert(id, shownAddress(alert));
        if (!key.isEmpty())
            m_idOfKey.insert(key, id);
    }
    if (key.isEmpty())
        return;
    if (m_nextForKey.contains(key))
        send(m_nextForKey.take(key), id);
    else
        m_pendingKeys.remove(key);
}

void DesktopNotifier::onActionInvoked(uint id, const QString& action)
{
    if ((action == ShowAction || action == DefaultAction) && m_addressOfId.contains(id))
        emit showRequested(m_addressOfId.value(id));
}

void DesktopNotifier::onClosed(uint id, uint /*reason*/)
{
    m_addressOfId.remove(id);
    for (auto it = m_idOfKey.begin(); it != m_idOfKey.end();)
        it = it.value() == id ? m_idOfKey.erase(it) : std::next(it);
}

} // namespace Tarnwick
