// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CopyableAtomic.h"

#include <QString>

namespace Tarnwick {

// How each kind of setting reads from and writes to the text of its element: flags as 0 or 1,
// numbers in decimal (anything else reads as 0), the port as its low 16 bits, texts as they are.
class SettingsValueText
{
public:
    static void read(QStringView text, bool& value);
    static void read(QStringView text, int& value);
    static void read(QStringView text, quint16& value);
    static void read(QStringView text, QString& value);
    static void read(QStringView text, CopyableAtomic<int>& value);

    static QString write(bool value);
    static QString write(int value);
    static QString write(quint16 value);
    static QString write(const QString& value);
    static QString write(const CopyableAtomic<int>& value);
};

} // namespace Tarnwick
