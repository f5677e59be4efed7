// SPDX-License-Identifier: GPL-3.0-or-later
#include "CheckList.h"

#include "DeviceEntry.h"

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
            *problem = QStringLiteral("The check \"%1\" is given twice.").arg(word);
        else
            *problem = check.problemWith(probedAddress);
        if (!problem->isEmpty())
            return {};
        checks.append(check);
    }
    if (checks.size() + 1 > DeviceEntry::MaxChecks)
        *problem = QStringLiteral("A device takes at most %1 checks.").arg(DeviceEntry::MaxChecks);
    return problem->isEmpty() ? checks : QList<DeviceCheck>{};
}

QString CheckList::unknownCheck(const QString& text)
{
    return QStringLiteral("Unknown check \"%1\": the checks are echo, arp and tcp:PORT (1 to 65535).").arg(text);
}

} // namespace Tarnwick
