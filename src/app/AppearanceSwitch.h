// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPalette>
#include <QString>

#include <optional>

namespace Tarnwick {

class DesktopColorScheme;
class Settings;

// Gives the application its light or dark look, as the "Appearance" setting says and, while that
// follows the desktop, as the desktop prefers; again at once whenever either changes. A look is
// the skin's style sheet for it ("style-dark.css" where the skin has one, its "style.css"
// otherwise) over the Fusion style, with a palette to match: what the sheet does not reach (the
// graphs, the map, tooltips) is drawn from the palette.
class AppearanceSwitch : public QObject
{
    Q_OBJECT

public:
    AppearanceSwitch(const Settings& settings, const DesktopColorScheme& desktop, const QString& skinFolder,
                     QObject* parent = nullptr);

    static QPalette darkPalette();

private:
    void follow();
    void apply(bool dark);
    QString styleSheet(bool dark) const;

    const Settings& m_settings;
    const DesktopColorScheme& m_desktop;
    const QString m_skinFolder;
    QPalette m_lightPalette;
    std::optional<bool> m_dark;
};

} // namespace Tarnwick
