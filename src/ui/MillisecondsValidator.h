#pragma once

#include <QValidator>

namespace Tarnwick {

// A number of milliseconds as the settings take it: digits only, from 0 to 600,000 (ten
// minutes). "2s" or "-100" cannot even be typed.
class MillisecondsValidator : public QValidator
{
    Q_OBJECT

public:
    static constexpr int Maximum = 600000;

    using QValidator::QValidator;
    State validate(QString& input, int& position) const override;
};

} // namespace Tarnwick
