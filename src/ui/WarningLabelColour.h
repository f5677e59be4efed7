// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QLabel;

namespace Tarnwick {

// Keeps a label's text in a red that reads on what the label stands on: a dark red on a light
// window, a light one on a dark window, chosen again whenever the label's palette changes (the
// program switched between its light and dark looks).
class WarningLabelColour : public QObject
{
    Q_OBJECT

public:
    static void keep(QLabel* label);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit WarningLabelColour(QLabel* label);
    void paint();

    QLabel* m_label;
};

} // namespace Tarnwick
