// SPDX-License-Identifier: GPL-3.0-or-later
#include "IndicatorFrameStyle.h"

#include <QPainter>
#include <QStyleOption>

namespace Tarnwick {

IndicatorFrameStyle::IndicatorFrameStyle(QStyle* base)
    : QProxyStyle(base)
{
}

void IndicatorFrameStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                        const QWidget* widget) const
{
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    if (element != PE_IndicatorCheckBox)
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(option->palette.color(QPalette::Disabled, QPalette::Text), 1));
    painter->drawRoundedRect(QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
    painter->restore();
}

} // namespace Tarnwick
