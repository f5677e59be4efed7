// SPDX-License-Identifier: GPL-3.0-or-later
#include "CheckList.h"

#include "DeviceEntry.h"
#include "PhraseBook.h"

namespace Tarnwick {

QString CheckList::text(const QList<DeviceCheck>& checks)
{
    QStringList words;
    for (const DeviceCheck& check : checks)
        words.append(check.word());
    return words.join(QLatin1Char(' '));
}

QList<DeviceCheck> CheckList::read(const QString& text, const DeviceCheck& first, const QString& probedAddress,
                                   QString* problem)
{
    problem->clear();
    QList<DeviceCheck> checks;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const DeviceCheck check = DeviceCheck::fromWord(word);
        if (check.kind == DeviceCheck::Unreadable)
            *problem = unknownCheck(word);
        else if (check == first || checks.contains(check))
            *problem = PhraseBook::english(PhraseBook::CheckGivenTwice, {word});
        else
            *problem = check.problemWith(probedAddress);
        if (!problem->isEmpty())
            return {};
        checks.append(check);
    }
    if (checks.size() + 1 > DeviceEntry::MaxChecks)
        *problem = PhraseBook::english(PhraseBook::TooManyChecks, {QString::number(DeviceEntry::MaxChecks)});
    return problem->isEmpty() ? checks : QList<DeviceCheck>{};
}

QString CheckList::unknownCheck(const QString& text)
{
    return PhraseBook::english(PhraseBook::UnknownCheck, {text});
}

} // namespace Tarnwick
