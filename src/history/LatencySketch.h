// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <vector>

namespace Tarnwick {

// The spread of a device's round trips in little room: each round trip is counted in a bucket
// whose bounds grow by 4 % from one to the next, so that any quantile read back lies within 2 %
// of the true one, whatever the range (a microsecond to hours). Sketches add up: a minute's and
// the next minute's give the two minutes', which is how the history keeps them and how longer
// spans are read. Only buckets that were hit take room (four bytes each); a device that answers
// steadily fills a handful.
class LatencySketch
{
public:
    // The bound on a quantile's relative error.
    static constexpr double RelativeError = 0.02;
    // No probe waits longer than this: a longer round trip is counted as this long, and a sketch
    // that holds one is damaged.
    static constexpr std::int64_t LongestRoundTripUs = 24LL * 3600 * 1000 * 1000;

    void add(std::int64_t roundTripUs);
    void merge(const LatencySketch& other);
    bool isEmpty() const { return m_buckets.empty(); }
    void clear() { m_buckets.clear(); }
    // The round trips counted; once a bucket's count would overflow, every count is halved,
    // which keeps the proportions (and so the quantiles) but not the total.
    std::uint64_t count() const;
    // The round trip (microseconds) under which the fraction q (0 to 1) of those counted lie;
    // none for an empty sketch.
    std::optional<double> quantileUs(double q) const;
    // The same, held to the least and most round trip the counts came from, which a damaged
    // sketch may lie beyond.
    std::optional<std::int64_t> quantileWithinUs(double q, std::int64_t leastUs, std::int64_t mostUs) const;

    // As the history file keeps it: a format byte, then per bucket the step from the previous
    // bucket's number and its count, each as a variable-length number. A few dozen bytes for a
    // minute of results; an empty sketch is an empty array.
    QByteArray toBytes() const;
    // Anything that is not such a text (damaged, from a later format, or counting a round trip
    // longer than the longest) reads as empty.
    static LatencySketch fromBytes(const QByteArray& bytes);

    bool operator==(const LatencySketch& other) const = default;

private:
    // A bucket's number in the top ten bits, its count in the low 22.
    static constexpr int CountBits = 22;
    static constexpr std::uint32_t MaxCount = (std::uint32_t(1) << CountBits) - 1;
    static constexpr int MaxBucket = (1 << (32 - CountBits)) - 1;

    static int bucketOf(std::int64_t roundTripUs);
    static double valueOf(int bucket);
    static int bucketIn(std::uint32_t packed) { return int(packed >> CountBits); }
    static std::uint32_t countIn(std::uint32_t packed) { return packed & MaxCount; }
    static std::uint32_t pack(int bucket, std::uint32_t count) { return (std::uint32_t(bucket) << CountBits) | count; }
    // Adds count to the bucket, halving every count first where it would overflow.
    void addToBucket(int bucket, std::uint64_t count);
    void halve();

    // Sorted by bucket number.
    std::vector<std::uint32_t> m_buckets;
};

} // namespace Tarnwick
