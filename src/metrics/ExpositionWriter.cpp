// SPDX-License-Identifier: GPL-3.0-or-later
#include "ExpositionWriter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace Tarnwick {

using prometheus::ClientMetric;
using prometheus::MetricFamily;
using prometheus::MetricType;

namespace {

const char* typeName(MetricType type)
{
    switch (type) {
    case MetricType::Counter:
        return "counter";
    case MetricType::Gauge:
        return "gauge";
    case MetricType::Summary:
        return "summary";
    case MetricType::Histogram:
        return "histogram";
    case MetricType::Untyped:
        break;
    }
    return "untyped";
}

} // namespace

ExpositionWriter::ExpositionWriter(std::string& page)
    : m_page(page)
{
}

void ExpositionWriter::write(const std::vector<MetricFamily>& families)
{
    for (const MetricFamily& family : families)
        write(family);
}

void ExpositionWriter::write(const MetricFamily& family)
{
    if (!family.help.empty()) {
        m_page += "# HELP ";
        m_page += family.name;
        m_page += ' ';
        escaped(family.help, false);
        m_page += '\n';
    }
    m_page += "# TYPE ";
    m_page += family.name;
    m_page += ' ';
    m_page += typeName(family.type);
    m_page += '\n';
    constexpr double none = std::numeric_limits<double>::quiet_NaN();
    for (const ClientMetric& metric : family.metric) {
        switch (family.type) {
        case MetricType::Counter:
            sample(family, "", metric, nullptr, none, metric.counter.value);
            break;
        case MetricType::Gauge:
            sample(family, "", metric, nullptr, none, metric.gauge.value);
            break;
        case MetricType::Untyped:
            sample(family, "", metric, nullptr, none, metric.untyped.value);
            break;
        case MetricType::Summary:
            for (const ClientMetric::Quantile& quantile : metric.summary.quantile)
                sample(family, "", metric, "quantile", quantile.quantile, quantile.value);
            sample(family, "_sum", metric, nullptr, none, metric.summary.sample_sum);
            sample(family, "_count", metric, nullptr, none, double(metric.summary.sample_count));
            break;
        case MetricType::Histogram: {
            const auto& histogram = metric.histogram;
            constexpr double infinity = std::numeric_limits<double>::infinity();
            for (const ClientMetric::Bucket& bucket : histogram.bucket)
                sample(family, "_bucket", metric, "le", bucket.upper_bound, double(bucket.cumulative_count));
            // The +Inf bucket holds every sample; it is written when the buckets given end short of it.
            if (histogram.bucket.empty() || histogram.bucket.back().upper_bound != infinity)
                sample(family, "_bucket", metric, "le", infinity, double(histogram.sample_count));
            sample(family, "_sum", metric, nullptr, none, histogram.sample_sum);
            sample(family, "_count", metric, nullptr, none, double(histogram.sample_count));
            break;
        }
        }
    }
}

void ExpositionWriter::sample(const MetricFamily& family, const char* suffix, const ClientMetric& metric,
                              const char* extraName, double extraValue, double value)
{
    m_page += family.name;
    m_page += suffix;
    if (!metric.label.empty() || extraName) {
        char separator = '{';
        for (const ClientMetric::Label& label : metric.label) {
            m_page += separator;
            m_page += label.name;
            m_page += "=\"";
            escaped(label.value, true);
            m_page += '"';
            separator = ',';
        }
        if (extraName) {
            m_page += separator;
            m_page += extraName;
            m_page += "=\"";
            number(extraValue);
            m_page += '"';
        }
        m_page += '}';
    }
    m_page += ' ';
    number(value);
    if (metric.timestamp_ms != 0) {
        m_page += ' ';
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, metric.timestamp_ms).ptr;
        m_page.append(digits, end);
    }
    m_page += '\n';
}

void ExpositionWriter::number(double value)
{
    if (std::isnan(value)) {
        m_page += "NaN";
    } else if (std::isinf(value)) {
        m_page += value > 0 ? "+Inf" : "-Inf";
    } else {
        // The shortest digits that read back as the same double, written as printf's %g would
        // place them: in full from 1e-4 up to 1e17 (so 0.0001, 2000 and every bucket bound read as
        // they always have, which keeps the le labels, and so the series, the same), and with an
        // exponent beyond (1e-06).
        char digits[32];
        char* end = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::scientific).ptr;
        const char* e = std::find(digits, end, 'e'); // "1.78e-04", "2e+03": always there
        int exponent = 0;
        std::from_chars(e + (e[1] == '+' ? 2 : 1), end, exponent);
        if (exponent >= -4 && exponent < 17)
            end = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed).ptr;
        m_page.append(digits, end);
    }
}

void ExpositionWriter::escaped(const std::string& text, bool quotes)
{
    for (const char c : text) {
        if (c == '\\')
            m_page += "\\\\";
        else if (c == '\n')
            m_page += "\\n";
        else if (c == '"' && quotes)
            m_page += "\\\"";
        else
            m_page += c;
    }
}

} // namespace Tarnwick
