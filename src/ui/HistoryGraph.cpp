// SPDX-License-Identifier: GPL-3.0-or-later
#include "HistoryGraph.h"

#include <QDateTime>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace Tarnwick {

namespace {

// 1, 2 or 5 times a power of ten, at least the value: a scale that reads well.
double roundedUp(double value)
{
    const double power = std::pow(10.0, std::floor(std::log10(std::max(value, 0.001))));
    for (const double step : {1.0, 2.0, 5.0, 10.0}) {
        if (step * power >= value)
            return step * power;
    }
    return 10 * power;
}

QString timeLabel(qint64 ms, qint64 spanMs)
{
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(ms);
    return time.toString(spanMs < 24 * 3600 * 1000LL ? QStringLiteral("hh:mm") : QStringLiteral("d MMM hh:mm"));
}

} // namespace

HistoryGraph::HistoryGraph(QWidget* parent)
    : QWidget(parent)
{
    setMinimumSize(360, 180);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void HistoryGraph::setSeries(const Series& series)
{
    m_series = series;
    update();
}

void HistoryGraph::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    paint(painter, rect(), m_series, true);
}

void HistoryGraph::paint(QPainter& painter, const QRect& area, const Series& series, bool labels)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics metrics = painter.fontMetrics();
    const int left = labels ? metrics.horizontalAdvance(QStringLiteral("000.0 ms")) + 8 : 0;
    const int bottom = labels ? metrics.height() + 4 : 0;
    const QRect plot = area.adjusted(left, labels ? 6 : 0, labels ? -8 : 0, -bottom);
    const int lossHeight = std::max(4, plot.height() / 5);
    const QRect rttArea(plot.left(), plot.top(), plot.width(), plot.height() - lossHeight - 2);
    const QRect lossArea(plot.left(), rttArea.bottom() + 3, plot.width(), lossHeight);
    const double span = double(std::max<qint64>(1, series.toMs - series.fromMs));
    const auto xAt = [&](qint64 ms) { return plot.left() + double(ms - series.fromMs) / span * plot.width(); };

    qint64 mostUs = 0;
    for (const HistoryReader::Bucket& b : series.buckets)
        mostUs = std::max(mostUs, b.maxUs);
    const double scaleMs = roundedUp(std::max(0.1, double(mostUs) / 1000.0));
    const auto yAt = [&](qint64 us) { return rttArea.bottom() - double(us) / 1000.0 / scaleMs * rttArea.height(); };

    painter.setPen(QPen(QColor(0, 0, 0, 40), 1));
    painter.drawRect(rttArea);
    painter.drawRect(lossArea);

    QPainterPath average;
    qint64 previousEnd = -1;
    for (const HistoryReader::Bucket& b : series.buckets) {
        const double x0 = xAt(b.startMs);
        const double x1 = std::max(x0 + 1, xAt(b.startMs + series.bucketMs));
        if (b.sent > 0 && b.received < b.sent) {
            const double loss = 1.0 - double(b.received) / b.sent;
            painter.fillRect(
                QRectF(x0, lossArea.bottom() - loss * lossArea.height(), x1 - x0, loss * lossArea.height()),
                QColor(210, 40, 40));
        }
        if (b.received == 0) {
            previousEnd = -1;
            continue;
        }
        painter.fillRect(QRectF(x0, yAt(b.maxUs), x1 - x0, std::max(1.0, yAt(b.minUs) - yAt(b.maxUs))),
                         QColor(60, 120, 220, 70));
        const QPointF point((x0 + x1) / 2, yAt(b.sumUs / b.received));
        if (previousEnd == b.startMs)
            average.lineTo(point);
        else
            average.moveTo(point);
        previousEnd = b.startMs + series.bucketMs;
    }
    painter.setPen(QPen(QColor(30, 70, 160), 1.5));
    painter.drawPath(average);

    for (const HistoryReader::StateChange& change : series.changes) {
        painter.setPen(QPen(change.connected ? QColor(30, 150, 60) : QColor(210, 40, 40), 1.5, Qt::DashLine));
        const double x = xAt(change.atMs);
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    }

    if (labels) {
        painter.setPen(QColor(80, 80, 80));
        const auto rightAligned = [&](int y, const QString& text) {
            painter.drawText(QRect(area.left(), y - metrics.height() / 2, left - 6, metrics.height()),
                             Qt::AlignRight | Qt::AlignVCenter, text);
        };
        rightAligned(rttArea.top(), QStringLiteral("%1 ms").arg(scaleMs));
        rightAligned(rttArea.bottom(), QStringLiteral("0 ms"));
        rightAligned(lossArea.center().y(), QStringLiteral("Loss"));
        const qint64 spanMs = series.toMs - series.fromMs;
        const QRect times(plot.left(), plot.bottom() + 2, plot.width(), metrics.height());
        painter.drawText(times, Qt::AlignLeft | Qt::AlignVCenter, timeLabel(series.fromMs, spanMs));
        painter.drawText(times, Qt::AlignRight | Qt::AlignVCenter, timeLabel(series.toMs, spanMs));
        if (series.buckets.isEmpty())
            painter.drawText(rttArea, Qt::AlignCenter, QStringLiteral("No results in this range"));
    }
    painter.restore();
}

} // namespace Tarnwick
