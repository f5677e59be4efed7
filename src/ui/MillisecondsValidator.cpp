#include "MillisecondsValidator.h"

#include <algorithm>

namespace Tarnwick {

QValidator::State MillisecondsValidator::validate(QString& input, int&) const
{
    if (input.isEmpty())
        return Intermediate;
    if (!std::all_of(input.begin(), input.end(),
                     [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }))
        return Invalid;
    bool ok = false;
    const qint64 value = input.toLongLong(&ok);
    return ok && value <= Maximum ? Acceptable : Invalid;
}

} // namespace Tarnwick
