// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <prometheus/metric_family.h>

#include <string>
#include <vector>

namespace Tarnwick {

// Writes metric families in Prometheus's text format (version 0.0.4) onto the end of a page,
// straight into its buffer: no sample makes a string of its own, so a page kept from scrape to
// scrape is written without allocating once it has grown to size. Numbers are the shortest text
// that reads back as the same double (0.562, not 0.56200000000000006), and +Inf, -Inf, NaN.
class ExpositionWriter
{
public:
    explicit ExpositionWriter(std::string& page);

    void write(const std::vector<prometheus::MetricFamily>& families);
    void write(const prometheus::MetricFamily& family);

private:
    void sample(const prometheus::MetricFamily& family, const char* suffix, const prometheus::ClientMetric& metric,
                const char* extraName, double extraValue, double value);
    void number(double value);
    void escaped(const std::string& text, bool quotes);

    std::string& m_page;
};

} // namespace Tarnwick
