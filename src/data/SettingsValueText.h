// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Appearance.h"
#include "CopyableAtomic.h"

#include <QString>

namespace Tarnwick {

// How each kind of setting reads from and writes to the text of its element: flags as 0 or 1,
// numbers in decimal (anything else reads as 0), the port as its low 16 bits, texts as they are,
// the appearance as its name ("FollowDesktop", "Light", "Dark"; any other text follows the desktop).
class SettingsValueText
{
public:
    static void read(QStringView text, bool& value);
    static void read(QStringView text, int& value);
    static void read(QStringView text, quint16& value);
    static void read(QStringView text, QString& value);
    static void read(QStringView text, CopyableAtomic<int>& value);
    static void read(QStringView text, Appearance& value);

    static QString write(bool value);
    static QString write(int value);
    static QString write(quint16 value);
    static QString write(const QString& value);
    static QString write(const CopyableAtomic<int>& value);
    static QString write(Appearance value);
};

} // namespace Tarnwick
