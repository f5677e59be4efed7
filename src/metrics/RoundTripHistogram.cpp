// SPDX-License-Identifier: GPL-3.0-or-later
#include "RoundTripHistogram.h"

#include <algorithm>

namespace Tarnwick {

void RoundTripHistogram::observe(qint64 roundTripUs)
{
    const auto bucket = std::lower_bound(UpperBoundsUs.cbegin(), UpperBoundsUs.cend(), roundTripUs);
    ++m_counts[std::size_t(bucket - UpperBoundsUs.cbegin())];
    m_sumUs += roundTripUs;
}

void RoundTripHistogram::fill(prometheus::ClientMetric::Histogram& histogram) const
{
    histogram.bucket.resize(UpperBoundsUs.size());
    quint64 cumulative = 0;
    for (std::size_t i = 0; i < UpperBoundsUs.size(); ++i) {
        cumulative += m_counts[i];
        histogram.bucket[i] = {cumulative, double(UpperBoundsUs[i]) / 1e6};
    }
    histogram.sample_count = cumulative + m_counts.back();
    histogram.sample_sum = double(m_sumUs) / 1e6;
}

} // namespace Tarnwick
