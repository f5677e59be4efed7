// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "history/HistoryReader.h"

#include <QWidget>

namespace Tarnwick {

// A device's round trip and loss over a span of time: per bucket a band from the least to the
// most round trip with the average as a line, the loss as red bars in a strip below, and each
// change of state as a vertical line (green: connected, red: disconnected).
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
    };

    explicit HistoryGraph(QWidget* parent = nullptr);

    void setSeries(const Series& series);
    const Series& series() const { return m_series; }

    // Draws a series into a rectangle; with labels, the scale and the times go at its edges
    // (the widget), without, nothing but the curves (a row's tooltip).
    static void paint(QPainter& painter, const QRect& area, const Series& series, bool labels);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Series m_series;
};

} // namespace Tarnwick
