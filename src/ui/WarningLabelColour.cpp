// SPDX-License-Identifier: GPL-3.0-or-later
#include "WarningLabelColour.h"

#include <QEvent>
#include <QLabel>

namespace Tarnwick {

WarningLabelColour::WarningLabelColour(QLabel* label)
    : QObject(label)
    , m_label(label)
{
}

void WarningLabelColour::keep(QLabel* label)
{
    auto* colour = new WarningLabelColour(label);
    label->installEventFilter(colour);
    colour->paint();
}

bool WarningLabelColour::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_label && event->type() == QEvent::PaletteChange)
        paint();
    return false;
}

void WarningLabelColour::paint()
{
    // Either stands out at least 7:1 against the window of its look.
    const bool onDark = m_label->palette().color(QPalette::Window).lightnessF() < 0.5;
    const QString sheet
        = QStringLiteral("color: %1").arg(onDark ? QStringLiteral("#ff8a80") : QStringLiteral("#a00000"));
    // The label's own sheet changes its palette too: only a new colour is set.
    if (m_label->styleSheet() != sheet)
        m_label->setStyleSheet(sheet);
}

} // namespace Tarnwick
