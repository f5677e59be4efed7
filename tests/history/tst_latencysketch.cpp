// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/LatencySketch.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <cmath>

using namespace Tarnwick;

using RoundTrips = std::vector<std::int64_t>;
Q_DECLARE_METATYPE(RoundTrips)

namespace {

RoundTrips recorded(const char* name)
{
    QFile file(QStringLiteral(TARNWICK_SOURCE_DIR "/tests/history/data/") + QLatin1String(name));
    RoundTrips values;
    if (file.open(QIODevice::ReadOnly))
        for (const QByteArray& number : file.readAll().simplified().split(' '))
            values.push_back(number.toLongLong());
    return values;
}

template <typename Draw>
RoundTrips drawn(int n, Draw draw)
{
    QRandomGenerator random(42);
    RoundTrips values;
    for (int i = 0; i < n; ++i)
        values.push_back(draw(random));
    return values;
}

// The nearest rank, as the sketch reads it.
double exactQuantile(RoundTrips values, double q)
{
    std::sort(values.begin(), values.end());
    const auto rank = std::max<std::size_t>(1, std::size_t(std::ceil(q * double(values.size()))));
    return double(values[rank - 1]);
}

} // namespace

class TestLatencySketch : public QObject
{
    Q_OBJECT

private slots:
    void quantilesWithinTheBound_data();
    void quantilesWithinTheBound();
    void damagedBytesReadAsEmpty_data();
    void damagedBytesReadAsEmpty();
    void overflowKeepsProportions();
};

void TestLatencySketch::quantilesWithinTheBound_data()
{
    QTest::addColumn<RoundTrips>("values");
    // 600 round trips of ping -i 0.005 127.0.0.1, in microseconds.
    QTest::newRow("recorded loopback") << recorded("loopback-round-trips-us.txt");
    QTest::newRow("one value") << RoundTrips{1234};
    QTest::newRow("sub-microsecond and huge") << RoundTrips{0, 1, 2, 3'600'000'000, 5};
    QTest::newRow("uniform 1-100 ms") << drawn(5000, [](QRandomGenerator& r) { return r.bounded(1000, 100000); });
    QTest::newRow("bimodal 1 and 50 ms") << drawn(
        4000, [](QRandomGenerator& r) { return (r.bounded(2) ? 1000 : 50000) + r.bounded(200); });
    QTest::newRow("long tail") << drawn(4000, [](QRandomGenerator& r) {
        return std::int64_t(500 * std::exp(6 * r.generateDouble() * r.generateDouble()));
    });
}

void TestLatencySketch::quantilesWithinTheBound()
{
    QFETCH(RoundTrips, values);
    QVERIFY(!values.empty());
    // Counted whole, and in four parts merged after a trip through the history's bytes: the
    // same sketch either way.
    LatencySketch whole;
    std::array<LatencySketch, 4> parts;
    for (std::size_t i = 0; i < values.size(); ++i) {
        whole.add(values[i]);
        parts[i % parts.size()].add(values[i]);
    }
    LatencySketch merged;
    for (const LatencySketch& part : parts)
        merged.merge(LatencySketch::fromBytes(part.toBytes()));
    QCOMPARE(merged, whole);
    QCOMPARE(whole.count(), values.size());
    QVERIFY2(whole.toBytes().size() <= 3 * qsizetype(values.size()) + 1,
             qPrintable(QString::number(whole.toBytes().size())));

    for (const double q : {0.0, 0.1, 0.25, 0.5, 0.75, 0.9, 0.95, 0.99, 1.0}) {
        // Round trips under a microsecond count as one.
        const double exact = std::max(1.0, exactQuantile(values, q));
        const double read = whole.quantileUs(q).value();
        QVERIFY2(std::abs(read - exact) <= LatencySketch::RelativeError * exact,
                 qPrintable(QStringLiteral("q %1: %2 read, %3 exact").arg(q).arg(read).arg(exact)));
    }
}

void TestLatencySketch::damagedBytesReadAsEmpty_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("later format") << QByteArray("\x02\x01\x01", 3);
    QTest::newRow("cut in a number") << QByteArray("\x01\x81", 2);
    QTest::newRow("count missing") << QByteArray("\x01\x05", 2);
    QTest::newRow("zero step") << QByteArray("\x01\x05\x01\x00\x01", 5);
    QTest::newRow("zero count") << QByteArray("\x01\x05\x00", 3);
    QTest::newRow("bucket past the last") << QByteArray("\x01\x81\x08\x01", 4);
    QTest::newRow("the last bucket, 10^17 us") << QByteArray("\x01\x80\x08\xff\xff\xff\x01", 7);
    QTest::newRow("a round trip of days") << QByteArray("\x01\xab\x05\x01", 4);
    QTest::newRow("number runs on") << QByteArray("\x01\xff\xff\xff\xff\xff\xff\x01\x01", 9);
}

void TestLatencySketch::damagedBytesReadAsEmpty()
{
    QFETCH(QByteArray, bytes);
    const LatencySketch sketch = LatencySketch::fromBytes(bytes);
    QVERIFY(sketch.isEmpty());
    QVERIFY(!sketch.quantileUs(0.5));
}

void TestLatencySketch::overflowKeepsProportions()
{
    // A quarter of the round trips at 1 ms, the rest at 10 ms, in numbers no bucket can hold:
    // counts are scaled down alike, so the quarter still reads as the quarter.
    LatencySketch fast;
    LatencySketch slow;
    for (int i = 0; i < 1'000'000; ++i) {
        fast.add(1000);
        for (int j = 0; j < 3; ++j)
            slow.add(10000);
    }
    LatencySketch sum;
    for (int i = 0; i < 9; ++i) {
        sum.merge(fast);
        sum.merge(slow);
    }
    QVERIFY(sum.count() < 9 * (fast.count() + slow.count()));
    QVERIFY(std::abs(sum.quantileUs(0.24).value() - 1000) <= 20);
    QVERIFY(std::abs(sum.quantileUs(0.26).value() - 10000) <= 200);
}

QTEST_GUILESS_MAIN(TestLatencySketch)
#include "tst_latencysketch.moc"
