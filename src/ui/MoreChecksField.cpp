// SPDX-License-Identifier: GPL-3.0-or-later
#include "MoreChecksField.h"

#include "data/CheckList.h"
#include "data/PhraseBook.h"

#include <algorithm>

namespace Tarnwick {

MoreChecksField::MoreChecksField(QWidget* parent)
    : QLineEdit(parent)
{
    setObjectName(QStringLiteral("moreChecksEdit"));
    setPlaceholderText(tr("None; for example: tcp:443 arp"));
    setToolTip(tr("Checks asked besides the first, separated by spaces: echo, arp or tcp:PORT.\n"
                  "The device is connected only while every check answers."));
}

void MoreChecksField::setChecks(const QList<QList<DeviceCheck>>& checks)
{
    m_several = !checks.isEmpty() && !std::all_of(checks.begin(), checks.end(), [&](const QList<DeviceCheck>& own) {
        return own == checks.first();
    });
    setText(m_several || checks.isEmpty() ? QString() : CheckList::text(checks.first()));
    if (m_several)
        setPlaceholderText(tr("Each keeps its own"));
    setModified(false);
}

QList<DeviceCheck> MoreChecksField::appliedTo(const QList<DeviceCheck>& own, const DeviceCheck& first,
                                              const QString& probedAddress, QString* problem) const
{
    // An entry's own checks are held to the first check chosen for it too.
    const QList<DeviceCheck> checks = CheckList::read(m_several && !isModified() ? CheckList::text(own) : text(), first,
                                                      probedAddress, problem);
    *problem = PhraseBook::translate(*problem);
    return checks;
}

bool MoreChecksField::mayAskEcho() const
{
    if (m_several && !isModified())
        return true;
    const QStringList words = text().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return std::any_of(words.cbegin(), words.cend(),
                       [](const QString& word) { return DeviceCheck::fromWord(word).kind == DeviceCheck::Echo; });
}

} // namespace Tarnwick
