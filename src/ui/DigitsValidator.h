// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QValidator>

namespace Tarnwick {

// A whole number as the settings take it: digits only, from 0 to a maximum. "2s" or "-100"
// cannot even be typed.
class DigitsValidator : public QValidator
{
    Q_OBJECT

public:
    DigitsValidator(int maximum, QObject* parent);

    int maximum() const { return m_maximum; }
    State validate(QString& input, int& position) const override;

private:
    int m_maximum;
};

} // namespace Tarnwick
