// SPDX-License-Identifier: GPL-3.0-or-later
#include "DesktopColorScheme.h"

#include <QDBusPendingCallWatcher>
#include <QDBusVariant>

namespace Tarnwick {

namespace {

const QString Service = QStringLiteral("org.freedesktop.portal.Desktop");
const QString Path = QStringLiteral("/org/freedesktop/portal/desktop");
const QString Interface = QStringLiteral("org.freedesktop.portal.Settings");
const QString Group = QStringLiteral("org.freedesktop.appearance");
const QString Key = QStringLiteral("color-scheme");

// Read answers a variant holding a variant of the value; the signal carries one variant.
QVariant unwrapped(QVariant value)
{
    while (value.metaType() == QMetaType::fromType<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value;
}

} // namespace

DesktopColorScheme::DesktopColorScheme(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_bus(bus)
{
    // The slot takes the whole message: in the program, Qt 6.4 never called one declared with the
    // signal's own arguments (two texts and a QDBusVariant), though a test's was.
    m_bus.connect(Service, Path, Interface, QStringLiteral("SettingChanged"), this,
                  SLOT(onSettingChanged(QDBusMessage)));
    QDBusMessage read = QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("Read"));
    read << Group << Key;
    const QDBusMessage reply = m_bus.call(read, QDBus::Block, FirstAnswerMs);
    if (reply.type() == QDBusMessage::ReplyMessage) {
        take(reply.arguments().value(0));
    } else if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply")) {
        auto* later = new QDBusPendingCallWatcher(m_bus.asyncCall(read), this);
        connect(later, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
            call->deleteLater();
            if (!call->isError())
                take(call->reply().arguments().value(0));
        });
    }
}

void DesktopColorScheme::onSettingChanged(const QDBusMessage& change)
{
    const QVariantList arguments = change.arguments();
    if (arguments.value(0).toString() == Group && arguments.value(1).toString() == Key)
        take(arguments.value(2));
}

void DesktopColorScheme::take(const QVariant& answer)
{
    const QVariant value = unwrapped(answer);
    const bool known = value.metaType() == QMetaType::fromType<uint>() && value.toUInt() <= uint(Preference::Light);
    // Values a later portal may add mean no preference this program knows of.
    const Preference said = known ? Preference(value.toUInt()) : Preference::None;
    if (said == m_preference)
        return;
    m_preference = said;
    emit preferenceChanged(said);
}

} // namespace Tarnwick
