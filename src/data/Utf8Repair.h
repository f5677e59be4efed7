// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

namespace Tarnwick {

// Mends text that was meant to be UTF-8 but holds stray bytes of another encoding, as a hand
// edit in a Latin-1 editor leaves them: every byte that does not belong to a valid UTF-8
// sequence is taken as its Latin-1 character; valid UTF-8 stays as it is.
class Utf8Repair
{
public:
    // True when bytes held anything to mend; bytes is then mended in place.
    static bool repair(QByteArray& bytes);

    // True when an XML document declares an encoding other than UTF-8, whose bytes are then
    // not ours to judge.
    static bool declaresOtherEncoding(const QByteArray& document);
};

} // namespace Tarnwick
