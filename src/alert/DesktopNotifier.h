// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "alert/Alert.h"

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QSet>

#include <optional>

class QDBusPendingCallWatcher;

namespace Tarnwick {

// Shows alerts through the desktop's notification service (org.freedesktop.Notifications on the
// session bus), for desktops where the tray cannot show balloons. Each notification offers
// "Show"; an alert whose group key matches an earlier notification updates it in place. A
// device down is told as critical (category "network.disconnected") and stays until clicked or
// until the device is back, whose notification takes its place (and the other way round); being
// back and slowness are normal. Calls never wait for the service.
class DesktopNotifier : public QObject
{
    Q_OBJECT

public:
    explicit DesktopNotifier(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                             const QString& iconName = QStringLiteral("tarnwick"), QObject* parent = nullptr);

    // Whether a notification service runs on the bus, or can be started by it.
    bool isAvailable() const;
    void notify(const Alert& alert);

signals:
    // The user chose "Show" on the notification of the device at this address.
    void showRequested(const QString& address);

private slots:
    void onActionInvoked(uint id, const QString& action);
    void onClosed(uint id, uint reason);

private:
    void askCapabilities();
    void send(const Alert& alert, uint replaces);
    void answered(QDBusPendingCallWatcher* call, const Alert& alert, uint replaced);

    QDBusConnection m_bus;
    const QString m_iconName;
    QHash<QString, uint> m_idOfKey;
    QHash<uint, QString> m_addressOfId;
    // Keys whose Notify has not answered yet, with the newest alert that came meanwhile (it
    // must replace the notification the answer names, not add one).
    QSet<QString> m_pendingKeys;
    QHash<QString, Alert> m_nextForKey;
    // Whether the service draws markup in bodies; unknown until it has said, and alerts wait
    // for that answer (a description is shown as typed, never as markup).
    std::optional<bool> m_bodyMarkup;
    bool m_askingCapabilities = false;
    QList<Alert> m_beforeCapabilities;
};

} // namespace Tarnwick
