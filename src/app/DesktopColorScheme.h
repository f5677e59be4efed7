// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>

namespace Tarnwick {

// The desktop's preference between light and dark windows, as the freedesktop portal says it
// ("color-scheme" of "org.freedesktop.appearance", org.freedesktop.portal.Settings on the bus
// given), followed as the desktop changes it. Without a portal, or with one that does not know
// the setting, the desktop has no preference.
class DesktopColorScheme : public QObject
{
    Q_OBJECT

public:
    // The portal's own numbers.
    enum class Preference : uint {
        None = 0,
        Dark = 1,
        Light = 2,
    };

    // Asks the portal at once, and waits at most FirstAnswerMs for its answer, so that the window
    // is drawn as the desktop prefers from its first picture; a portal that answers later (one
    // started on demand) is heard when it does.
    explicit DesktopColorScheme(const QDBusConnection& bus, QObject* parent = nullptr);

    static constexpr int FirstAnswerMs = 1000;

    Preference preference() const { return m_preference; }

signals:
    void preferenceChanged(DesktopColorScheme::Preference preference);

private slots:
    // A setting of the portal changed: its group, its key and its new value.
    void onSettingChanged(const QDBusMessage& change);

private:
    void take(const QVariant& answer);

    QDBusConnection m_bus;
    Preference m_preference = Preference::None;
};

} // namespace Tarnwick
