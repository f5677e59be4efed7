// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringView>

namespace Tarnwick {

// Reads a decimal integer the way every file of the program does: anything that is not a
// whole decimal number reads as 0.
class XmlNumber
{
public:
    static int toInt(QStringView text);
    static bool toFlag(QStringView text) { return toInt(text) != 0; }
};

} // namespace Tarnwick
