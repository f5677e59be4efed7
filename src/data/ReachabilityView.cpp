// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReachabilityView.h"

#include "PhraseBook.h"

namespace Tarnwick {

QString ReachabilityView::behindShown(const QString& ip) const
{
    const QString text = behindText(ip);
    // An address alone is shown as it is, without a look through the phrases for every row.
    return text == behind(ip) ? text : PhraseBook::translate(text);
}

} // namespace Tarnwick
