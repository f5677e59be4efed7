// SPDX-License-Identifier: GPL-3.0-or-later
#include "DigitsValidator.h"

#include <algorithm>

namespace Tarnwick {

DigitsValidator::DigitsValidator(int maximum, QObject* parent)
    : QValidator(parent)
    , m_maximum(maximum)
{
}

QValidator::State DigitsValidator::validate(QString& input, int&) const
{
    if (input.isEmpty())
        return Intermediate;
    const auto digit = [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); };
    if (!std::all_of(input.begin(), input.end(), digit))
        return Invalid;
    bool ok = false;
    const qint64 value = input.toLongLong(&ok);
    return ok && value <= m_maximum ? Acceptable : Invalid;
}

} // namespace Tarnwick
