// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "history/HistoryReader.h"

#include <QWidget>

#include <optional>

namespace Tarnwick {

// A device's round trip and loss over a span of time: per bucket the spread of its round trips
// as smoke, shaded where they lie and the denser the more of them lie there, in bands (least to
// most, 10 to 90 %, 25 to 75 %), with the median as a step coloured by the bucket's loss (minutes
// kept before their spread was show the band from least to most and the average as a line),
// the loss as red bars in a thin band below, and,
// with labels, the device's state as a strip along the bottom (green: connected, amber: slow,
// red: disconnected), empty where the device was not monitored. The round trip is scaled to
// what most buckets show, so that a few slow replies do not flatten the rest: what goes past the
// top is drawn at the top edge, marked.
class HistoryGraph : public QWidget
{
    Q_OBJECT

public:
    struct Series
    {
        qint64 fromMs = 0;
        qint64 toMs = 0;
        qint64 bucketMs = 60000;
        QList<HistoryReader::Bucket> buckets;
        QList<HistoryReader::StateChange> changes;
        QList<HistoryReader::SlowChange> slowChanges;
        // The device's state as the range begins, where the history knows it.
        std::optional<bool> connectedBefore;
        bool slowBefore = false;
        // The longest a monitored device goes without a result (its probe period, or a pass
        // over the list at its slowest). A longer stretch without any, give or take a minute, is
        // time the monitor did not run (Tarnwick was not running, or a scan rested it): the
        // state strip leaves it empty rather than carry the last state across it.
        qint64 quietMs = 0;
    };
    // Where paint() puts the round trip, the loss and the state strip (empty without labels).
    struct Areas
    {
        QRect roundTrip;
        QRect loss;
        QRect states;
    };

    static inline const QColor ConnectedColor{30, 150, 60};
    static inline const QColor DisconnectedColor{210, 40, 40};
    static inline const QColor SlowColor{240, 165, 0};
    static inline const QColor AverageColor{30, 70, 160};
    // The mark of a bucket whose slowest reply is past the top of the scale.
    static inline const QColor CaretColor{150, 40, 120};
    static constexpr int ScalePercentile = 95;
    static constexpr double ScaleHeadroom = 1.25;
    // Of a bucket whose spread is known, the share of its replies its height on the scale covers.
    static constexpr double ScaleSpreadQuantile = 0.95;

    explicit HistoryGraph(QWidget* parent = nullptr);

    void setSeries(const Series& series);
    const Series& series() const { return m_series; }

    // Draws a series into a rectangle; with labels, the scale and the times go at its edges
    // (the widget), without, nothing but the curves (a row's tooltip). The frame and the labels
    // take the palette's text colour, and on a dark base the curves are drawn lighter.
    static void paint(QPainter& painter, const QRect& area, const Series& series, bool labels, const QPalette& palette);
    static Areas areas(const QRect& area, const QFontMetrics& metrics, bool labels);
    // The top of the round-trip scale in ms: the 95th percentile of the buckets' heights (the
    // rank below it, so that with few buckets the slowest is left out) with a quarter on top,
    // rounded up to 1, 2 or 5 times a power of ten. A bucket's height is its replies' 95th
    // percentile where its spread is known, its average reply otherwise.
    static double roundTripScaleMs(const QList<HistoryReader::Bucket>& buckets);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // A round trip on the scale with its unit, %1 the number.
    static QString scaleLabel();

    Series m_series;
};

} // namespace Tarnwick
