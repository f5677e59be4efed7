// SPDX-License-Identifier: GPL-3.0-or-later
#include "HistoryGraph.h"

#include <QDateTime>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace Tarnwick {

namespace {

// A colour for each look: on a light background, and a lighter one that stands out as much on a
// dark background.
struct ColourPair
{
    QColor light;
    QColor dark;
    const QColor& on(bool onDark) const { return onDark ? dark : light; }
};

const ColourPair LossColor{QColor(210, 40, 40), QColor(255, 110, 110)};
const ColourPair AverageColour{HistoryGraph::AverageColor, QColor(110, 160, 255)};
const ColourPair CaretColour{HistoryGraph::CaretColor, QColor(235, 120, 205)};
// A bucket's least to most round trip, where its spread is not known.
const ColourPair BandColor{QColor(60, 120, 220, 70), QColor(110, 160, 255, 80)};
// The smoke: each hundredth of a bucket's round trips is shaded where it lies, the lightest for
// the outermost tenths (least to most), darker for the middle 80 % and darkest for the middle
// half. Hundredths that fall together add up, so where the round trips crowd the smoke is dense,
// and round trips in two modes show two bands with nothing between them.
struct SmokeBand
{
    double from; // the middle share the band starts at, from the outside in
    ColourPair color;
};
const SmokeBand SmokeBands[] = {{0.0, {QColor(60, 120, 220, 18), QColor(110, 160, 255, 24)}},
                                {0.10, {QColor(60, 120, 220, 30), QColor(110, 160, 255, 40)}},
                                {0.25, {QColor(40, 90, 200, 45), QColor(130, 175, 255, 60)}}};
constexpr int SmokeSteps = 100;
// The median's colour says how much of the bucket was lost: none, a little, much, most.
struct LossShade
{
    double upTo;
    ColourPair color;
};
const LossShade LossShades[] = {{0.0, AverageColour},
                                {0.05, {QColor(0, 150, 200), QColor(60, 200, 240)}},
                                {0.20, {QColor(150, 40, 200), QColor(200, 130, 255)}},
                                {1.0, LossColor}};

QColor lossShade(const HistoryReader::Bucket& bucket, bool dark)
{
    const double lost = 1.0 - double(bucket.received) / bucket.sent;
    for (const LossShade& shade : LossShades) {
        if (lost <= shade.upTo)
            return shade.color.on(dark);
    }
    return LossColor.on(dark);
}
constexpr double CaretHalfWidth = 4;
constexpr double MinimumScaleMs = 0.1;

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

struct Span
{
    qint64 fromMs;
    qint64 toMs;
};

// When the device was monitored: the buckets that hold its results, joined across the holes a
// running monitor leaves between results (a bucket left empty is a gap once results come more
// often than a bucket lasts), and reaching the range's ends across such a hole or a minute more
// (the results of the running minute reach the history a moment late).
QList<Span> monitored(const HistoryGraph::Series& series)
{
    const qint64 join = series.quietMs;
    const qint64 joinEnds = std::max(series.quietMs, series.bucketMs) + 60000;
    QList<Span> spans;
    for (const HistoryReader::Bucket& b : series.buckets) {
        if (b.sent == 0)
            continue;
        const qint64 from = spans.isEmpty() && b.startMs - series.fromMs <= joinEnds ? series.fromMs : b.startMs;
        if (!spans.isEmpty() && from - spans.last().toMs <= join)
            spans.last().toMs = b.startMs + series.bucketMs;
        else
            spans.append({from, b.startMs + series.bucketMs});
    }
    if (!spans.isEmpty() && series.toMs - spans.last().toMs <= joinEnds)
        spans.last().toMs = series.toMs;
    return spans;
}

// The device's state over the range, one colour a stretch; a stretch too short to see (an outage
// of seconds in a month) still takes a pixel, over the connected ones around it.
template <typename XAt>
void drawStates(QPainter& painter, const QRect& strip, const HistoryGraph::Series& series, XAt xAt)
{
    struct Change
    {
        qint64 atMs;
        bool ofConnection;
        bool on;
    };
    QList<Change> changes;
    changes.reserve(series.changes.size() + series.slowChanges.size());
    for (const HistoryReader::StateChange& c : series.changes)
        changes.append({c.atMs, true, c.connected});
    for (const HistoryReader::SlowChange& c : series.slowChanges)
        changes.append({c.atMs, false, c.slow});
    std::stable_sort(changes.begin(), changes.end(), [](const Change& a, const Change& b) { return a.atMs < b.atMs; });

    struct Stretch
    {
        double x0;
        double x1;
        QColor color;
    };
    QList<Stretch> connected;
    QList<Stretch> notable;
    std::optional<bool> isConnected = series.connectedBefore;
    bool slow = series.slowBefore;
    qint64 since = series.fromMs;
    const QList<Span> spans = monitored(series);
    const auto close = [&](qint64 until) {
        until = std::min(until, series.toMs);
        if (until <= since)
            return;
        for (const Span& span : spans) {
            const qint64 from = std::max(since, span.fromMs);
            const qint64 to = std::min(until, span.toMs);
            if (to <= from)
                continue;
            const double x0 = xAt(from);
            const double x1 = xAt(to);
            if (isConnected == false)
                notable.append({x0, std::max(x1, x0 + 1), HistoryGraph::DisconnectedColor});
            else if (slow)
                notable.append({x0, std::max(x1, x0 + 1), HistoryGraph::SlowColor});
            else if (isConnected == true)
                connected.append({x0, x1, HistoryGraph::ConnectedColor});
        }
        since = until;
    };
    for (const Change& c : changes) {
        close(c.atMs);
        if (c.ofConnection)
            isConnected = c.on;
        else
            slow = c.on;
    }
    close(series.toMs);
    for (const QList<Stretch>* stretches : {&connected, &notable}) {
        for (const Stretch& s : *stretches)
            painter.fillRect(QRectF(s.x0, strip.top(), s.x1 - s.x0, strip.height()), s.color);
    }
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
    paint(painter, rect(), m_series, true, palette());
}

HistoryGraph::Areas HistoryGraph::areas(const QRect& area, const QFontMetrics& metrics, bool labels)
{
    // Room for the widest label of the scale, in the words it is shown in.
    const int left = labels ? metrics.horizontalAdvance(scaleLabel().arg(QStringLiteral("000.0"))) + 8 : 0;
    const int bottom = labels ? metrics.height() + 4 : 0;
    const QRect plot = area.adjusted(left, labels ? 6 : 0, labels ? -8 : 0, -bottom);
    // With labels the loss keeps a thin band of its own, so that the round trip has the room.
    const int lossHeight = labels ? std::clamp(plot.height() / 8, 6, 24) : std::max(4, plot.height() / 5);
    const int stripHeight = labels ? 6 : 0;
    const int gap = 3;
    Areas areas;
    if (labels)
        areas.states = QRect(plot.left(), plot.bottom() - stripHeight + 1, plot.width(), stripHeight);
    const int lossBottom = labels ? areas.states.top() - gap : plot.bottom();
    areas.loss = QRect(plot.left(), lossBottom - lossHeight + 1, plot.width(), lossHeight);
    areas.roundTrip = QRect(plot.left(), plot.top(), plot.width(), areas.loss.top() - gap - plot.top());
    return areas;
}

double HistoryGraph::roundTripScaleMs(const QList<HistoryReader::Bucket>& buckets)
{
    // Not a bucket's slowest reply: one slow reply among a minute of fast ones should not decide
    // the scale, it is drawn at the top edge, marked. Where the spread is known its 95th
    // percentile, so that the slower of two modes a device answers in stays within the graph;
    // otherwise the average.
    QList<qint64> averages;
    averages.reserve(buckets.size());
    for (const HistoryReader::Bucket& b : buckets) {
        if (b.received == 0)
            continue;
        averages.append(
            b.sketch.quantileWithinUs(ScaleSpreadQuantile, b.minUs, b.maxUs).value_or(b.sumUs / b.received));
    }
    if (averages.isEmpty())
        return MinimumScaleMs;
    // The rank below the percentile: of 60 buckets the 57th, so that three may go past the top,
    // and of fewer than 20 still not the slowest, so that a new device's one slow minute does not
    // flatten the others.
    const qsizetype rank = ScalePercentile * (averages.size() - 1) / 100;
    std::nth_element(averages.begin(), averages.begin() + rank, averages.end());
    return roundedUp(std::max(MinimumScaleMs, double(averages[rank]) / 1000.0 * ScaleHeadroom));
}

QString HistoryGraph::scaleLabel()
{
    //: A round trip on the graph's scale: %1 milliseconds
    return tr("%1 ms");
}

void HistoryGraph::paint(QPainter& painter, const QRect& area, const Series& series, bool labels,
                         const QPalette& palette)
{
    const bool dark = palette.color(QPalette::Base).lightnessF() < 0.5;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics metrics = painter.fontMetrics();
    const Areas parts = areas(area, metrics, labels);
    const QRect& rttArea = parts.roundTrip;
    const QRect& lossArea = parts.loss;
    const double span = double(std::max<qint64>(1, series.toMs - series.fromMs));
    const auto xAt = [&](qint64 ms) { return rttArea.left() + double(ms - series.fromMs) / span * rttArea.width(); };

    const double scaleMs = roundTripScaleMs(series.buckets);
    const qint64 scaleUs = qint64(scaleMs * 1000.0);
    // What goes past the scale stays at its top edge.
    const auto yAt = [&](qint64 us) {
        return rttArea.bottom() - double(std::min(us, scaleUs)) / 1000.0 / scaleMs * rttArea.height();
    };

    QColor frame = palette.color(QPalette::Text);
    frame.setAlpha(40);
    painter.setPen(QPen(frame, 1));
    painter.drawRect(rttArea);
    painter.drawRect(lossArea);
    // The buckets at the range's ends (the running minute) reach past it: only the plot shows.
    painter.setClipRect(QRect(rttArea.topLeft(), lossArea.bottomRight()));

    QPainterPath average;
    QPainterPath carets;
    qint64 previousEnd = -1;
    // Whether the bucket before drew the average, which this one's then joins.
    bool averageGoesOn = false;
    for (const HistoryReader::Bucket& b : series.buckets) {
        const double x0 = xAt(b.startMs);
        const double x1 = std::max(x0 + 1, xAt(b.startMs + series.bucketMs));
        if (b.sent > 0 && b.received < b.sent) {
            // A single lost reply stays visible, however many were sent.
            const double height = std::max(1.5, (1.0 - double(b.received) / b.sent) * lossArea.height());
            painter.fillRect(QRectF(x0, lossArea.bottom() + 1 - height, x1 - x0, height), LossColor.on(dark));
        }
        if (b.received == 0) {
            previousEnd = -1;
            averageGoesOn = false;
            continue;
        }
        const auto band = [&](qint64 lowerUs, qint64 upperUs, const QColor& color) {
            painter.fillRect(QRectF(x0, yAt(upperUs), x1 - x0, std::max(1.0, yAt(lowerUs) - yAt(upperUs))), color);
        };
        if (b.sketch.isEmpty())
            band(b.minUs, b.maxUs, BandColor.on(dark));
        if (b.maxUs > scaleUs) {
            const double x = (x0 + x1) / 2;
            carets.addPolygon(QPolygonF({QPointF(x, rttArea.top()), QPointF(x + CaretHalfWidth, rttArea.top() + 6),
                                         QPointF(x - CaretHalfWidth, rttArea.top() + 6)}));
        }
        const bool follows = previousEnd == b.startMs;
        previousEnd = b.startMs + series.bucketMs;
        if (b.sketch.isEmpty()) {
            // Minutes kept before their spread was: the average as a line.
            const QPointF point((x0 + x1) / 2, yAt(b.sumUs / b.received));
            if (follows && averageGoesOn)
                average.lineTo(point);
            else
                average.moveTo(point);
            averageGoesOn = true;
            continue;
        }
        // Held to the bucket's least and most round trip, which a damaged sketch may not be.
        const auto at = [&](double q) { return b.sketch.quantileWithinUs(q, b.minUs, b.maxUs).value_or(b.minUs); };
        // A hundredth is drawn over the whole of the sketch's bucket it reads back from.
        constexpr double Growth = (1 + LatencySketch::RelativeError) / (1 - LatencySketch::RelativeError);
        for (int step = 0; step <= SmokeSteps; ++step) {
            const double q = double(step) / SmokeSteps;
            const double fromOutside = std::min(q, 1 - q);
            const SmokeBand* shade = &SmokeBands[0];
            for (const SmokeBand& smoke : SmokeBands) {
                if (fromOutside >= smoke.from)
                    shade = &smoke;
            }
            const double us = double(at(q));
            band(qint64(us * (Growth + 1) / (2 * Growth)), qint64(us * (Growth + 1) / 2), shade->color.on(dark));
        }
        // The median as a mark across the bucket, in the colour of the bucket's loss; not joined to
        // the next, so that round trips in two modes do not draw a wall between them.
        const double y = yAt(at(0.5));
        // Square ends reach a pixel past the bucket, so that the marks of adjacent buckets leave
        // no lighter column where they meet between pixels.
        painter.setPen(QPen(lossShade(b, dark), 2, Qt::SolidLine, Qt::SquareCap));
        painter.drawLine(QPointF(x0, y), QPointF(x1, y));
        averageGoesOn = false;
    }
    painter.setPen(QPen(AverageColour.on(dark), 1.5));
    painter.drawPath(average);
    painter.fillPath(carets, CaretColour.on(dark));
    painter.setClipping(false);

    if (labels) {
        drawStates(painter, parts.states, series, xAt);
        painter.setPen(palette.color(QPalette::Text));
        const auto rightAligned = [&](int y, const QString& text) {
            painter.drawText(
                QRect(area.left(), y - metrics.height() / 2, rttArea.left() - area.left() - 6, metrics.height()),
                Qt::AlignRight | Qt::AlignVCenter, text);
        };
        rightAligned(rttArea.top(), scaleLabel().arg(scaleMs));
        rightAligned(rttArea.bottom(), scaleLabel().arg(0));
        //: Beside the band of the graph that shows the lost replies
        rightAligned(lossArea.center().y(), tr("Loss"));
        const qint64 spanMs = series.toMs - series.fromMs;
        const QRect times(rttArea.left(), parts.states.bottom() + 2, rttArea.width(), metrics.height());
        painter.drawText(times, Qt::AlignLeft | Qt::AlignVCenter, timeLabel(series.fromMs, spanMs));
        painter.drawText(times, Qt::AlignRight | Qt::AlignVCenter, timeLabel(series.toMs, spanMs));
        if (series.buckets.isEmpty())
            painter.drawText(rttArea, Qt::AlignCenter, tr("No results in this range"));
    }
    painter.restore();
}

} // namespace Tarnwick
