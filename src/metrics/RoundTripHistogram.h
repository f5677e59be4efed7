// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <prometheus/client_metric.h>

#include <array>

namespace Tarnwick {

// The round trips of one device's replies, counted by bucket for a Prometheus histogram: four
// buckets a decade from 100 µs to 10 s, and what lies beyond. Counting one takes a few
// comparisons and no allocation; the whole is 184 bytes.
class RoundTripHistogram
{
public:
    // Each bucket's upper bound, inclusive, in microseconds: whole numbers, so that a round trip
    // on a bound counts in that bucket, and the labels read as written here (0.000178, not
    // 0.00017782794100389227): the page writes the shortest digits that read back the same.
    static constexpr std::array<qint64, 21> UpperBoundsUs{100,    178,    316,     562,     1000,    1780,    3160,
                                                          5620,   10000,  17800,   31600,   56200,   100000,  178000,
                                                          316000, 562000, 1000000, 1780000, 3160000, 5620000, 10000000};

    void observe(qint64 roundTripUs);
    // Cumulative counts by upper bound in seconds, the count and the sum in seconds; the +Inf
    // bucket is the count, written by the serializer.
    void fill(prometheus::ClientMetric::Histogram& histogram) const;

private:
    std::array<quint64, UpperBoundsUs.size() + 1> m_counts{}; // the last: beyond every bound
    qint64 m_sumUs = 0; // whole microseconds: sums exactly however many replies
};

} // namespace Tarnwick
