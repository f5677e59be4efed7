// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppearanceSwitch.h"
#include "IndicatorFrameStyle.h"

#include "DesktopColorScheme.h"
#include "data/Settings.h"

#include <QApplication>
#include <QFile>
#include <QStyle>
#include <QStyleFactory>
#include <QToolTip>

namespace Tarnwick {

AppearanceSwitch::AppearanceSwitch(const Settings& settings, const DesktopColorScheme& desktop,
                                   const QString& skinFolder, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_desktop(desktop)
    , m_skinFolder(skinFolder)
{
    QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"));
    m_lightPalette = fusion->standardPalette();
    QApplication::setStyle(new IndicatorFrameStyle(fusion));
    settings.onChange(&Settings::appearance, this, [this] { follow(); });
    connect(&desktop, &DesktopColorScheme::preferenceChanged, this, &AppearanceSwitch::follow);
    follow();
}

QPalette AppearanceSwitch::darkPalette()
{
    struct Role
    {
        QPalette::ColorRole role;
        QColor color;
    };
    // The colours of style-dark.css, for the widgets it does not reach.
    const Role roles[] = {
        {QPalette::Window, QColor(0x1e2227)},
        {QPalette::WindowText, QColor(0xe4e7eb)},
        {QPalette::Base, QColor(0x262b31)},
        {QPalette::AlternateBase, QColor(0x2b3037)},
        {QPalette::ToolTipBase, QColor(0x2e343b)},
        {QPalette::ToolTipText, QColor(0xe4e7eb)},
        {QPalette::PlaceholderText, QColor(0x9aa5b1)},
        {QPalette::Text, QColor(0xe4e7eb)},
        {QPalette::Button, QColor(0x2e343b)},
        {QPalette::ButtonText, QColor(0xe4e7eb)},
        {QPalette::BrightText, QColor(0xff8a80)},
        {QPalette::Light, QColor(0x434b55)},
        {QPalette::Midlight, QColor(0x3b424b)},
        {QPalette::Mid, QColor(0x2a2f36)},
        {QPalette::Dark, QColor(0x15181c)},
        {QPalette::Shadow, QColor(0x0b0d10)},
        {QPalette::Highlight, QColor(0x1f5fbf)},
        {QPalette::HighlightedText, QColor(0xffffff)},
        {QPalette::Link, QColor(0x7fb2ff)},
        {QPalette::LinkVisited, QColor(0xc3a6ff)},
    };
    QPalette palette;
    for (const Role& each : roles)
        palette.setColor(each.role, each.color);
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, QColor(0x97a3b0));
    palette.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0x3b424b));
    return palette;
}

void AppearanceSwitch::follow()
{
    bool dark = false;
    switch (m_settings.appearance) {
    case Appearance::FollowDesktop:
        dark = m_desktop.preference() == DesktopColorScheme::Preference::Dark;
        break;
    case Appearance::Light:
        break;
    case Appearance::Dark:
        dark = true;
        break;
    }
    if (m_dark != dark)
        apply(dark);
}

void AppearanceSwitch::apply(bool dark)
{
    m_dark = dark;
    const QPalette palette = dark ? darkPalette() : m_lightPalette;
    QApplication::setPalette(palette);
    // Pictures drawn for tooltips (a row's sparkline) read the tooltips' palette.
    QToolTip::setPalette(palette);
    qApp->setStyleSheet(styleSheet(dark));
}

QString AppearanceSwitch::styleSheet(bool dark) const
{
    QFile sheet(m_skinFolder + QStringLiteral("/style-dark.css"));
    if (!dark || !sheet.exists())
        sheet.setFileName(m_skinFolder + QStringLiteral("/style.css"));
    if (!sheet.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(sheet.readAll());
}

} // namespace Tarnwick
