// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QString>

namespace Tarnwick {

// The desktop's autostart entry for Tarnwick ("tarnwick.desktop" in the autostart folder of
// the user's configuration, ~/.config/autostart unless XDG_CONFIG_HOME says otherwise), which
// starts it with the desktop session.
class AutostartEntry
{
    Q_DECLARE_TR_FUNCTIONS(AutostartEntry)

public:
    static QString filePath();
    static bool exists();
    // The entry that starts program in folder: the menu's launcher where it starts Tarnwick in
    // that folder, else the program itself there. Empty, with the reason in why, when the
    // desktop entry format cannot say the program or the folder.
    static QString contents(const QString& program, const QString& folder, QString* why = nullptr);
    // The entry for this program in this working directory. False, with the reason in why,
    // when it could not be written.
    static bool write(QString* why = nullptr);
    static bool remove();
    // Makes the entry exist or not; false when that failed.
    static bool set(bool wanted, QString* why = nullptr);
};

} // namespace Tarnwick
