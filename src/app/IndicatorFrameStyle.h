// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProxyStyle>

namespace Tarnwick {

// Fusion with a clear frame round check boxes: Fusion draws their frame from the window's colour,
// which on a dark window all but hides an empty box. The frame takes the palette's colour for
// text set apart, readable in either look; the tick stays Fusion's.
class IndicatorFrameStyle : public QProxyStyle
{
public:
    explicit IndicatorFrameStyle(QStyle* base);

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
};

} // namespace Tarnwick
