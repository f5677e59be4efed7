// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSpinBox>

#include <optional>

namespace Tarnwick {

// A spin box for one limit of a device that may follow the settings: below its lowest number it
// says "Use the settings" and, where several devices with different limits are edited at once,
// "Each keeps its own" below that.
class SlowLimitBox : public QSpinBox
{
    Q_OBJECT

public:
    SlowLimitBox(int lowest, int highest, QWidget* parent = nullptr);

    // None: use the settings.
    void setLimit(const std::optional<int>& limit);
    // Offers and shows "Each keeps its own".
    void setKept();
    bool kept() const;
    std::optional<int> limit() const;

protected:
    QString textFromValue(int value) const override;
    int valueFromText(const QString& text) const override;
    QValidator::State validate(QString& text, int& pos) const override;

private:
    // The words shown below the lowest number, which the box also reads back as typed.
    static QString useSettingsText();
    static QString keepText();

    int useSettings() const { return m_lowest - 1; }
    int keep() const { return m_lowest - 2; }

    const int m_lowest;
};

} // namespace Tarnwick
