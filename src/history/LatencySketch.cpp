// SPDX-License-Identifier: GPL-3.0-or-later
#include "LatencySketch.h"

#include <algorithm>
#include <cmath>

namespace Tarnwick {

namespace {

// Each bucket's upper bound is this much above its lower one; a round trip read back as the
// bucket's middle (in ratio) is then off by at most (Growth - 1) / (Growth + 1) = 1.96 %.
constexpr double Growth = 1.04;
const double LogGrowth = std::log(Growth);
constexpr char Format = 1;

void appendNumber(QByteArray& bytes, std::uint64_t value)
{
    do {
        const auto low = char(value & 0x7f);
        value >>= 7;
        bytes.append(value != 0 ? char(low | 0x80) : low);
    } while (value != 0);
}

// A number of at most 35 bits at at; none where the text ends first or runs longer.
std::optional<std::uint64_t> readNumber(const QByteArray& bytes, qsizetype& at)
{
    std::uint64_t value = 0;
    for (int shift = 0; shift < 35 && at < bytes.size(); shift += 7) {
        const auto byte = std::uint8_t(bytes[at++]);
        value |= std::uint64_t(byte & 0x7f) << shift;
        if ((byte & 0x80) == 0)
            return value;
    }
    return std::nullopt;
}

} // namespace

int LatencySketch::bucketOf(std::int64_t roundTripUs)
{
    if (roundTripUs <= 1)
        return 0;
    return std::min(MaxBucket, int(std::ceil(std::log(double(roundTripUs)) / LogGrowth)));
}

double LatencySketch::valueOf(int bucket)
{
    return bucket == 0 ? 1.0 : 2 * std::pow(Growth, bucket) / (Growth + 1);
}

void LatencySketch::add(std::int64_t roundTripUs)
{
    addToBucket(bucketOf(std::min(roundTripUs, LongestRoundTripUs)), 1);
}

void LatencySketch::addToBucket(int bucket, std::uint64_t count)
{
    auto at = std::lower_bound(m_buckets.begin(), m_buckets.end(), pack(bucket, 0));
    if (at == m_buckets.end() || bucketIn(*at) != bucket)
        at = m_buckets.insert(at, pack(bucket, 0));
    while (countIn(*at) + count > MaxCount) {
        halve();
        count = (count + 1) / 2;
    }
    *at += std::uint32_t(count);
}

void LatencySketch::halve()
{
    // Rounded up, so that no bucket that was hit ends up empty.
    for (std::uint32_t& packed : m_buckets)
        packed = pack(bucketIn(packed), (countIn(packed) + 1) / 2);
}

void LatencySketch::merge(const LatencySketch& other)
{
    if (other.isEmpty())
        return;
    // Summed in 64 bits, then scaled down together where the sum overflows a bucket, so that
    // both sides keep their weight.
    std::vector<std::pair<int, std::uint64_t>> sums;
    sums.reserve(m_buckets.size() + other.m_buckets.size());
    auto mine = m_buckets.cbegin();
    auto theirs = other.m_buckets.cbegin();
    while (mine != m_buckets.cend() || theirs != other.m_buckets.cend()) {
        const bool takeMine = theirs == other.m_buckets.cend()
            || (mine != m_buckets.cend() && bucketIn(*mine) <= bucketIn(*theirs));
        const bool takeTheirs = mine == m_buckets.cend()
            || (theirs != other.m_buckets.cend() && bucketIn(*theirs) <= bucketIn(*mine));
        const int bucket = takeMine ? bucketIn(*mine) : bucketIn(*theirs);
        std::uint64_t sum = 0;
        if (takeMine)
            sum += countIn(*mine++);
        if (takeTheirs)
            sum += countIn(*theirs++);
        sums.emplace_back(bucket, sum);
    }
    std::uint64_t largest = 0;
    for (const auto& [bucket, sum] : sums)
        largest = std::max(largest, sum);
    int shift = 0;
    while ((largest >> shift) > MaxCount)
        ++shift;
    const std::uint64_t roundUp = (std::uint64_t(1) << shift) - 1;
    m_buckets.clear();
    m_buckets.reserve(sums.size());
    for (const auto& [bucket, sum] : sums)
        m_buckets.push_back(pack(bucket, std::uint32_t((sum + roundUp) >> shift)));
}

std::uint64_t LatencySketch::count() const
{
    std::uint64_t total = 0;
    for (const std::uint32_t packed : m_buckets)
        total += countIn(packed);
    return total;
}

std::optional<std::int64_t> LatencySketch::quantileWithinUs(double q, std::int64_t leastUs, std::int64_t mostUs) const
{
    const std::optional<double> us = quantileUs(q);
    if (!us)
        return std::nullopt;
    return std::clamp(std::int64_t(*us), leastUs, std::max(leastUs, mostUs));
}

std::optional<double> LatencySketch::quantileUs(double q) const
{
    const std::uint64_t total = count();
    if (total == 0)
        return std::nullopt;
    // The nearest rank: the smallest round trip with at least the fraction q at or below it.
    const auto rank = std::max<std::uint64_t>(1, std::uint64_t(std::ceil(std::clamp(q, 0.0, 1.0) * double(total))));
    std::uint64_t seen = 0;
    for (const std::uint32_t packed : m_buckets) {
        seen += countIn(packed);
        if (seen >= rank)
            return valueOf(bucketIn(packed));
    }
    return valueOf(bucketIn(m_buckets.back()));
}

QByteArray LatencySketch::toBytes() const
{
    QByteArray bytes;
    if (m_buckets.empty())
        return bytes;
    bytes.reserve(1 + int(m_buckets.size()) * 3);
    bytes.append(Format);
    int previous = -1;
    for (const std::uint32_t packed : m_buckets) {
        appendNumber(bytes, std::uint64_t(bucketIn(packed) - previous));
        appendNumber(bytes, countIn(packed));
        previous = bucketIn(packed);
    }
    return bytes;
}

LatencySketch LatencySketch::fromBytes(const QByteArray& bytes)
{
    static const int longest = bucketOf(LongestRoundTripUs);
    LatencySketch sketch;
    if (bytes.isEmpty() || bytes[0] != Format)
        return sketch;
    qsizetype at = 1;
    std::int64_t bucket = -1;
    while (at < bytes.size()) {
        const std::optional<std::uint64_t> step = readNumber(bytes, at);
        const std::optional<std::uint64_t> count = step ? readNumber(bytes, at) : std::nullopt;
        if (!count || *step == 0 || *count == 0 || *count > MaxCount || bucket + std::int64_t(*step) > longest)
            return {};
        bucket += std::int64_t(*step);
        sketch.m_buckets.push_back(pack(int(bucket), std::uint32_t(*count)));
    }
    return sketch;
}

} // namespace Tarnwick
