// SPDX-License-Identifier: GPL-3.0-or-later
#include "DevicePath.h"

#include "PhraseBook.h"

namespace Tarnwick {

QString DevicePath::viaText(const QStringList& routers)
{
    if (routers.isEmpty())
        return QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "directly"));
    QStringList shown;
    for (const QString& router : routers)
        shown << (router.isEmpty() ? QStringLiteral("*") : router);
    return PhraseBook::english(PhraseBook::PathVia, {shown.join(QStringLiteral(", "))});
}

bool DevicePath::sameWayAs(const QStringList& other) const
{
    if (other.size() != routers.size())
        return false;
    for (qsizetype hop = 0; hop < other.size(); ++hop)
        if (!other.at(hop).isEmpty() && !routers.at(hop).isEmpty() && other.at(hop) != routers.at(hop))
            return false;
    return true;
}

QStringList DevicePath::filledIn(const QStringList& other) const
{
    // On the same way every silent hop is this path's router; on another, one whose neighbours
    // are this path's too.
    const bool same = sameWayAs(other);
    QStringList filled = other;
    for (qsizetype hop = 0; hop < filled.size() && hop < routers.size(); ++hop) {
        if (!filled.at(hop).isEmpty())
            continue;
        const bool before = hop == 0 || other.at(hop - 1) == routers.at(hop - 1);
        const bool after = hop + 1 < other.size() && hop + 1 < routers.size()
            && other.at(hop + 1) == routers.at(hop + 1);
        if (same || (before && after))
            filled[hop] = routers.at(hop);
    }
    return filled;
}

} // namespace Tarnwick
