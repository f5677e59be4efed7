// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Data.h"
#include "data/MaintenanceList.h"
#include "history/DeviceStatistics.h"
#include "metrics/DeviceMetrics.h"
#include "metrics/ExpositionWriter.h"
#include "metrics/MetricsAddress.h"
#include "metrics/MetricsPage.h"
#include "metrics/MetricsServer.h"
#include "netlab/HttpGet.h"

#include "../common/FixedReachability.h"
#include "../common/FixedSlowness.h"

#include <QElapsedTimer>
#include <QTest>

#include <prometheus/text_serializer.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <zlib.h>

#include <atomic>
#include <cmath>
#include <thread>

using namespace std::chrono_literals;

using namespace Tarnwick;

namespace {

// A client of the metrics server that sends the start of a request and then, every interval,
// one more header line, never the blank line that ends it; with no interval it sends nothing
// at all. It notes when the server closes the connection.
class StalledClient
{
public:
    // Sends its whole request and never reads the answer, its receive buffer the smallest.
    static constexpr int NeverReads = -1;

    // dripMs: 0 sends nothing, more sends a line of its request that often, NeverReads.
    StalledClient(int port, int dripMs)
        : m_socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        const int smallest = 4096;
        if (dripMs == NeverReads)
            ::setsockopt(m_socket, SOL_SOCKET, SO_RCVBUF, &smallest, sizeof smallest);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = ::connect(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        if (dripMs == NeverReads)
            send("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        else
            m_thread = std::thread([this, dripMs] { run(dripMs); });
    }
    ~StalledClient()
    {
        ::shutdown(m_socket, SHUT_RDWR);
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_socket);
    }
    bool connected() const { return m_connected; }
    bool closedByServer() const { return m_closed; }
    // Whether an answer waits to be read.
    bool answered() const
    {
        pollfd wait{m_socket, POLLIN, 0};
        return ::poll(&wait, 1, 0) == 1;
    }

private:
    void run(int dripMs)
    {
        if (dripMs > 0)
            send("GET /metrics HTTP/1.1\r\n");
        pollfd wait{m_socket, POLLIN, 0};
        for (int line = 0;; ++line) {
            if (::poll(&wait, 1, dripMs > 0 ? dripMs : -1) != 0) {
                char buffer[512];
                // The server answered (a time-out) or hung up; a shutdown of ours reads 0 too.
                while (::read(m_socket, buffer, sizeof buffer) > 0) { }
                m_closed = true;
                return;
            }
            send("X-Line-" + std::to_string(line) + ": still coming\r\n");
        }
    }
    void send(const std::string& text) { (void)!::send(m_socket, text.data(), text.size(), MSG_NOSIGNAL); }

    int m_socket;
    bool m_connected = false;
    std::atomic<bool> m_closed = false;
    std::thread m_thread;
};

// Fifty devices in a list and the metrics of them, as the scrape tests serve them.
struct FiftyDevices
{
    Data data;
    DeviceStatistics statistics;
    FixedReachability reachability;
    std::shared_ptr<DeviceMetrics> metrics;

    FiftyDevices()
    {
        for (int i = 1; i <= 50; ++i)
            data.addEntry(DeviceEntry(QStringLiteral("10.0.0.%1").arg(i), QString(), DeviceTypePC, false, QString()));
        metrics = std::make_shared<DeviceMetrics>(data, statistics, reachability, QStringLiteral("1"), true);
    }
};

} // namespace

class TestMetrics : public QObject
{
    Q_OBJECT

    // Loopback, on a port the system picks, so that tests never meet a server that holds one.
    static MetricsAddress anyFreePort() { return {QStringLiteral("127.0.0.1:0"), {}}; }

    static QStringList exposition(const DeviceMetrics& metrics)
    {
        std::string text;
        ExpositionWriter(text).write(metrics.Collect());
        QStringList samples;
        for (const QString& line : QString::fromStdString(text).split(QLatin1Char('\n'))) {
            if (!line.isEmpty() && !line.startsWith(QLatin1Char('#')))
                samples << line;
        }
        return samples;
    }

    // A page's lines, sorted, each number read and written again, so that pages that differ
    // only in how they write numbers (0.562 or 0.56200000000000006, NaN or Nan) read the same.
    static QStringList numbersRewritten(const std::string& page)
    {
        static const QRegularExpression number(QStringLiteral("(le=\"| )([-+0-9.eE]+|[-+]?Inf|NaN|Nan)(\"|$)"));
        QStringList samples;
        for (QString line : QString::fromStdString(page).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            QList<QRegularExpressionMatch> found;
            for (auto match = number.globalMatch(line); match.hasNext();)
                found.prepend(match.next()); // the last first, so that earlier places stay put
            for (const QRegularExpressionMatch& at : found) {
                const QString text = at.captured(2).toLower();
                const double value = text.endsWith(QLatin1String("inf"))
                    ? (text.startsWith(QLatin1Char('-')) ? -INFINITY : INFINITY)
                    : text.toDouble();
                line.replace(at.capturedStart(2), at.capturedLength(2), QString::number(value, 'g', 17));
            }
            samples << line;
        }
        samples.sort();
        return samples;
    }

private slots:
    void addresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("listen");
        QTest::addColumn<QString>("error");
        QTest::newRow("empty: off") << " "
                                    << ""
                                    << "";
        QTest::newRow("a port alone") << "9716"
                                      << "127.0.0.1:9716"
                                      << "";
        QTest::newRow("a colon and a port") << ":9716"
                                            << "127.0.0.1:9716"
                                            << "";
        QTest::newRow("loopback") << "127.0.0.1:9716"
                                  << "127.0.0.1:9716"
                                  << "";
        QTest::newRow("every address, written out") << "0.0.0.0:9716"
                                                    << "0.0.0.0:9716"
                                                    << "";
        QTest::newRow("IPv6 in brackets") << "[::1]:9716"
                                          << "[::1]:9716"
                                          << "";
        QTest::newRow("IPv6 without brackets") << "::1:9716"
                                               << ""
                                               << "goes in brackets";
        QTest::newRow("IPv4 in brackets") << "[127.0.0.1]:9716"
                                          << ""
                                          << "only IPv6";
        QTest::newRow("a name") << "localhost:9716"
                                << ""
                                << "not a name";
        QTest::newRow("no port") << "127.0.0.1"
                                 << ""
                                 << "from 1 to 65535";
        QTest::newRow("port 0") << "127.0.0.1:0"
                                << ""
                                << "from 1 to 65535";
        QTest::newRow("port too large") << "127.0.0.1:65536"
                                        << ""
                                        << "from 1 to 65535";
    }

    void addresses()
    {
        QFETCH(QString, text);
        QFETCH(QString, listen);
        QFETCH(QString, error);
        const MetricsAddress address = MetricsAddress::parse(text);
        QCOMPARE(address.listen, listen);
        QCOMPARE(address.enabled(), !listen.isEmpty());
        QVERIFY2(error.isEmpty() ? address.error.isEmpty() : address.error.contains(error), qPrintable(address.error));
    }

    // Each collection reads the list as it is: results and state changes counted by device,
    // labels escaped and in UTF-8, edited and removed devices shown as they are now.
    void collectsTheListAsItIs()
    {
        Data data;
        data.addEntry(
            DeviceEntry(QStringLiteral("10.0.0.1"), QStringLiteral("Say \"hi\"\\\n"), DeviceTypePC, true, QString()));
        data.addEntry(
            DeviceEntry(QStringLiteral("10.0.0.2"), QStringLiteral("Café printer"), DeviceTypePC, false, QString()));
        data.awaitFirstResults();
        DeviceStatistics statistics;
        FixedReachability reachability;
        DeviceMetrics metrics(data, statistics, reachability, QStringLiteral("9.8.7"), true);
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        // A host there without echo replies has lost none of them.
        const QList<ProbeRecord> results{{QStringLiteral("10.0.0.1"), now, ProbeResult{ProbeResult::Present, 0}},
                                         {QStringLiteral("10.0.0.1"), now, ProbeResult::reply(1500us)},
                                         {QStringLiteral("10.0.0.2"), now, ProbeResult::reply(2000us)},
                                         {QStringLiteral("10.0.0.2"), now, ProbeResult::timeout()},
                                         {QStringLiteral("10.0.0.2"), now, ProbeResult::socketError()},
                                         {QStringLiteral("10.0.0.2"), now, ProbeResult::timeout()}};
        for (const ProbeRecord& result : results) {
            metrics.record(result);
            statistics.record(result);
        }
        // The first result tells the state; the next two change it.
        for (const ProbeResult& result : {ProbeResult::reply(1ms), ProbeResult::timeout(), ProbeResult::reply(2ms)})
            data.setPingResults({{QStringLiteral("10.0.0.2"), 0, result}});
        data.setPingResults({{QStringLiteral("10.0.0.2"), 0, ProbeResult::timeout()}});

        const QString a = QStringLiteral("{address=\"10.0.0.1\"");
        const QString b = QStringLiteral("{address=\"10.0.0.2\"");
        const QStringList samples = exposition(metrics);
        for (const QString& expected : {
                 QStringLiteral("tarnwick_devices 2"),
                 QStringLiteral("tarnwick_build_info{version=\"9.8.7\"} 1"),
                 QStringLiteral("tarnwick_monitor_can_probe 1"),
                 QStringLiteral("tarnwick_device_info%1,description=\"Say \\\"hi\\\"\\\\\\n\"} 1").arg(a),
                 // Label values are UTF-8: Prometheus refuses a whole scrape over one byte that is not.
                 QStringLiteral("tarnwick_device_info%1,description=\"Café printer\"} 1").arg(b),
                 QStringLiteral("tarnwick_device_up%1} 0").arg(b),
                 QStringLiteral("tarnwick_device_rtt_seconds%1} 0.0015").arg(a),
                 QStringLiteral("tarnwick_probes_total%1,result=\"reply\"} 1").arg(b),
                 QStringLiteral("tarnwick_probes_total%1,result=\"timeout\"} 2").arg(b),
                 QStringLiteral("tarnwick_probes_total%1,result=\"error\"} 1").arg(b),
                 QStringLiteral("tarnwick_device_state_changes_total%1} 3").arg(b),
                 QStringLiteral("tarnwick_device_state_changes_total%1} 0").arg(a),
                 QStringLiteral("tarnwick_device_loss_5m_ratio%1} 0.75").arg(b),
                 QStringLiteral("tarnwick_device_loss_5m_ratio%1} 0").arg(a),
                 QStringLiteral("tarnwick_device_rtt_5m_average_seconds%1} 0.002").arg(b),
             }) {
            QVERIFY2(samples.contains(expected),
                     qPrintable(expected + QStringLiteral("\nnot in:\n") + samples.join('\n')));
        }
        // Not yet probed: no "up"; last result without a reply: no round trip; none cut off.
        QVERIFY(!samples.join('\n').contains(QStringLiteral("tarnwick_device_up") + a));
        QVERIFY(!samples.join('\n').contains(QStringLiteral("tarnwick_device_rtt_seconds") + b));
        QVERIFY(!samples.join('\n').contains(QStringLiteral("tarnwick_device_unreachable_behind")));

        // Cut off behind a failed device: said by a series of its own, gone once it is not.
        reachability.set({{QStringLiteral("10.0.0.2"), QStringLiteral("10.0.0.1")}});
        QVERIFY(exposition(metrics).contains(
            QStringLiteral("tarnwick_device_unreachable_behind{address=\"10.0.0.2\",behind=\"10.0.0.1\"} 1")));
        reachability.set({});
        QVERIFY(!exposition(metrics).join('\n').contains(QStringLiteral("tarnwick_device_unreachable_behind")));

        data.removeEntry(QStringLiteral("10.0.0.2"));
        data.changeEntry(QStringLiteral("10.0.0.1"), QStringLiteral("10.0.0.1"), true, QStringLiteral("Router"),
                         DeviceTypePC);
        const QString now2 = exposition(metrics).join('\n');
        QVERIFY(!now2.contains(QStringLiteral("10.0.0.2")));
        QVERIFY(now2.contains(QStringLiteral("tarnwick_devices 1")));
        // A new description changes the info only: the device keeps its series.
        QVERIFY(now2.contains(QStringLiteral("tarnwick_device_info{address=\"10.0.0.1\",description=\"Router\"} 1")));
        QVERIFY(now2.contains(QStringLiteral("tarnwick_probes_total{address=\"10.0.0.1\",result=\"reply\"} 1")));
        QVERIFY(!now2.contains(QStringLiteral("Say")));
        // Listed again, the address is a new device: its counters start from nothing.
        data.addEntry(DeviceEntry(QStringLiteral("10.0.0.2"), QString(), DeviceTypePC, false, QString()));
        QVERIFY(exposition(metrics).contains(
            QStringLiteral("tarnwick_probes_total{address=\"10.0.0.2\",result=\"timeout\"} 0")));

        const DeviceMetrics withoutTheRightToPing(data, statistics, reachability, QStringLiteral("9.8.7"), false);
        QVERIFY(exposition(withoutTheRightToPing).contains(QStringLiteral("tarnwick_monitor_can_probe 0")));
    }

    void writesTheTextFormat_data()
    {
        using prometheus::MetricType;
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("label"); // the value of label "l"; none when null
        QTest::addColumn<QList<double>>(
            "values"); // a histogram's: sum, count, then bound and cumulative count by bucket
        QTest::addColumn<qint64>("timestampMs");
        QTest::addColumn<QString>("samples");
        const auto row = [](const char* name, MetricType type, const QString& label, const QList<double>& values,
                            qint64 timestampMs, const char* samples) {
            QTest::newRow(name) << int(type) << label << values << timestampMs << QString::fromUtf8(samples);
        };
        row("a gauge, shortest digits", MetricType::Gauge, {}, {0.562}, 0, "m 0.562\n");
        row("a whole counter", MetricType::Counter, {}, {2000}, 0, "m 2000\n");
        row("in full from 1e-4 to 1e17, with an exponent beyond", MetricType::Gauge, QStringLiteral("a"),
            {0.0001, 1e16, 1e17, 9.5e-5, -1.5e300}, 0,
            "m{l=\"a\"} 0.0001\nm{l=\"a\"} 10000000000000000\nm{l=\"a\"} 1e+17\nm{l=\"a\"} 9.5e-05\n"
            "m{l=\"a\"} -1.5e+300\n");
        row("infinities and not a number", MetricType::Untyped, {}, {INFINITY, -INFINITY, NAN}, 0,
            "m +Inf\nm -Inf\nm NaN\n");
        row("a label escaped", MetricType::Gauge, QStringLiteral("say \"hi\"\\\nCafé"), {1}, 0,
            "m{l=\"say \\\"hi\\\"\\\\\\nCafé\"} 1\n");
        row("with its timestamp", MetricType::Counter, {}, {3}, 1700000000123, "m 3 1700000000123\n");
        row("an empty family", MetricType::Gauge, {}, {}, 0, "");
        row("a histogram", MetricType::Histogram, QStringLiteral("a"), {0.0625, 4, 0.000562, 1, 0.1, 3}, 0,
            "m_bucket{l=\"a\",le=\"0.000562\"} 1\nm_bucket{l=\"a\",le=\"0.1\"} 3\n"
            "m_bucket{l=\"a\",le=\"+Inf\"} 4\nm_sum{l=\"a\"} 0.0625\nm_count{l=\"a\"} 4\n");
        row("a histogram without buckets", MetricType::Histogram, {}, {0, 0}, 0,
            "m_bucket{le=\"+Inf\"} 0\nm_sum 0\nm_count 0\n");
    }

    // The text format, with its HELP escaped (backslash and line break, not quotes) and its TYPE.
    void writesTheTextFormat()
    {
        QFETCH(int, type);
        QFETCH(QString, label);
        QFETCH(QList<double>, values);
        QFETCH(qint64, timestampMs);
        QFETCH(QString, samples);
        prometheus::MetricFamily family{"m", "Help \"x\" \\ and\nmore", prometheus::MetricType(type), {}};
        const auto add = [&] {
            prometheus::ClientMetric& metric = family.metric.emplace_back();
            if (!label.isNull())
                metric.label.push_back({"l", label.toStdString()});
            metric.timestamp_ms = timestampMs;
            return &metric;
        };
        if (family.type == prometheus::MetricType::Histogram) {
            auto& histogram = add()->histogram;
            histogram.sample_sum = values[0];
            histogram.sample_count = std::uint64_t(values[1]);
            for (qsizetype i = 2; i + 1 < values.size(); i += 2)
                histogram.bucket.push_back({std::uint64_t(values[i + 1]), values[i]});
        } else {
            for (const double value : values) {
                prometheus::ClientMetric* metric = add();
                metric->counter.value = metric->gauge.value = metric->untyped.value = value;
            }
        }
        std::string page = "kept\n";
        ExpositionWriter(page).write(std::vector{family});
        const char* typeName[] = {"counter", "gauge", "summary", "untyped", "histogram"};
        QCOMPARE(
            QString::fromStdString(page),
            QStringLiteral("kept\n# HELP m Help \"x\" \\\\ and\\nmore\n# TYPE m %1\n%2").arg(typeName[type], samples));
    }

    // The page holds what prometheus-cpp's serializer wrote of the same collection: the same
    // families, help, series and values; numbers may be written shorter.
    void pageReadsAsPrometheusCppsDid()
    {
        Data data;
        data.addEntry(
            DeviceEntry(QStringLiteral("10.0.0.1"), QStringLiteral("Say \"hi\"\\\n"), DeviceTypePC, true, QString()));
        data.addEntry(
            DeviceEntry(QStringLiteral("10.0.0.2"), QStringLiteral("Café printer"), DeviceTypePC, false, QString()));
        DeviceStatistics statistics;
        FixedReachability reachability;
        reachability.set({{QStringLiteral("10.0.0.2"), QStringLiteral("10.0.0.1")}});
        DeviceMetrics metrics(data, statistics, reachability, QStringLiteral("9.8.7"), true);
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        for (const ProbeRecord& result :
             QList<ProbeRecord>{{QStringLiteral("10.0.0.1"), now, ProbeResult::reply(562us)},
                                {QStringLiteral("10.0.0.1"), now, ProbeResult::reply(1700us)},
                                {QStringLiteral("10.0.0.2"), now, ProbeResult::timeout()}}) {
            metrics.record(result);
            statistics.record(result);
        }
        data.setPingResults({{QStringLiteral("10.0.0.1"), 0, ProbeResult::reply(1ms)}});
        metrics.networkRound(3, 1, 0);
        const std::vector<prometheus::MetricFamily> families = metrics.Collect();
        std::string page;
        ExpositionWriter(page).write(families);
        const QStringList ours = numbersRewritten(page);
        QCOMPARE(ours, numbersRewritten(prometheus::TextSerializer().Serialize(families)));
        QVERIFY(ours.size() > 60);
    }

    void roundTripHistogram_data()
    {
        QTest::addColumn<QList<qint64>>("roundTripsUs");
        QTest::addColumn<QList<int>>("cumulative"); // by bucket, as the bounds below, +Inf last
        QTest::addColumn<QString>("sum");
        QTest::newRow("no reply yet") << QList<qint64>{} << QList<int>(22, 0) << "0";
        QTest::newRow("2 ms and 40 ms") << QList<qint64>{2000, 40000}
                                        << QList<int>{0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2}
                                        << "0.042";
        QTest::newRow("on a bound: in its bucket")
            << QList<qint64>{100, 178, 1000, 10000000}
            << QList<int>{1, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 4, 4} << "10.001278";
        QTest::newRow("under the first, over the last")
            << QList<qint64>{0, 99, 10000001}
            << QList<int>{2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 3} << "10.0001";
    }

    // Replies only, each counted in the buckets of the bounds at or above it; a device without
    // one has every bucket at 0.
    void roundTripHistogram()
    {
        QFETCH(QList<qint64>, roundTripsUs);
        QFETCH(QList<int>, cumulative);
        QFETCH(QString, sum);
        Data data;
        data.addEntry(DeviceEntry(QStringLiteral("10.0.0.1"), QString(), DeviceTypePC, false, QString()));
        DeviceStatistics statistics;
        FixedReachability reachability;
        DeviceMetrics metrics(data, statistics, reachability, QStringLiteral("1"), true);
        metrics.record({QStringLiteral("10.0.0.1"), 0, ProbeResult::timeout()});
        for (const qint64 us : roundTripsUs)
            metrics.record({QStringLiteral("10.0.0.1"), 0, ProbeResult::reply(std::chrono::microseconds(us))});

        const QStringList bounds{"0.0001", "0.000178", "0.000316", "0.000562", "0.001", "0.00178", "0.00316", "0.00562",
                                 "0.01",   "0.0178",   "0.0316",   "0.0562",   "0.1",   "0.178",   "0.316",   "0.562",
                                 "1",      "1.78",     "3.16",     "5.62",     "10",    "+Inf"};
        const QString name = QStringLiteral("tarnwick_device_round_trip_seconds");
        QStringList expected;
        for (qsizetype i = 0; i < bounds.size(); ++i)
            expected << QStringLiteral("%1_bucket{address=\"10.0.0.1\",le=\"%2\"} %3")
                            .arg(name, bounds[i])
                            .arg(cumulative[i]);
        expected << QStringLiteral("%1_count{address=\"10.0.0.1\"} %2").arg(name).arg(roundTripsUs.size())
                 << QStringLiteral("%1_sum{address=\"10.0.0.1\"} %2").arg(name, sum);
        QStringList samples = exposition(metrics).filter(name);
        samples.sort();
        expected.sort();
        QCOMPARE(samples, expected);
    }

    // Whether each probed device is slow, as the view says now; without a view, no such series.
    void slowDevicesAreOneTheOthersZero()
    {
        Data data;
        for (const char* ip : {"10.0.0.1", "10.0.0.2", "10.0.0.3"})
            data.addEntry(DeviceEntry(QString::fromLatin1(ip), QString(), DeviceTypePC, false, QString()));
        data.awaitFirstResults();
        data.setPingResults({{QStringLiteral("10.0.0.1"), 0, ProbeResult::reply(1ms)}});
        data.setPingResults({{QStringLiteral("10.0.0.2"), 0, ProbeResult::reply(1ms)}});
        DeviceStatistics statistics;
        FixedReachability reachability;
        DeviceMetrics metrics(data, statistics, reachability, QStringLiteral("1"), true);
        QVERIFY(!exposition(metrics).join('\n').contains(QStringLiteral("tarnwick_device_slow")));
        FixedSlowness slowness;
        slowness.slow = {QStringLiteral("10.0.0.1")};
        metrics.setSlowView(&slowness);
        const auto slowSeries = [&metrics] {
            return exposition(metrics).filter(QStringLiteral("tarnwick_device_slow{"));
        };
        // Not yet probed: no series, as for "up".
        QCOMPARE(slowSeries(),
                 QStringList(
                     {"tarnwick_device_slow{address=\"10.0.0.1\"} 1", "tarnwick_device_slow{address=\"10.0.0.2\"} 0"}));
        slowness.set(QStringLiteral("10.0.0.1"), false);
        slowness.set(QStringLiteral("10.0.0.2"), true);
        QCOMPARE(slowSeries(),
                 QStringList(
                     {"tarnwick_device_slow{address=\"10.0.0.1\"} 0", "tarnwick_device_slow{address=\"10.0.0.2\"} 1"}));
    }

    // One sample per listed device, 1 while a window covers it, following the windows and the
    // devices added later; without a view, no such series.
    void devicesInMaintenanceAreOneTheOthersZero()
    {
        Data data;
        for (const char* ip : {"10.0.0.1", "10.0.0.2"})
            data.addEntry(DeviceEntry(QString::fromLatin1(ip), QString(), DeviceTypePC, false, QString()));
        DeviceStatistics statistics;
        FixedReachability reachability;
        DeviceMetrics metrics(data, statistics, reachability, QStringLiteral("1"), true);
        const auto series = [&metrics] {
            return exposition(metrics).filter(QStringLiteral("tarnwick_device_in_maintenance{"));
        };
        QVERIFY(series().isEmpty());
        MaintenanceList maintenance;
        MaintenanceWindow window;
        window.ip = QStringLiteral("10.0.0.2");
        window.from = QDateTime::currentDateTimeUtc().addSecs(-60);
        window.to = window.from.addSecs(3600);
        QVERIFY(!maintenance.add(window).isEmpty());
        metrics.setMaintenanceView(&maintenance);
        QCOMPARE(series(),
                 QStringList({"tarnwick_device_in_maintenance{address=\"10.0.0.1\"} 0",
                              "tarnwick_device_in_maintenance{address=\"10.0.0.2\"} 1"}));
        window.ip.clear();
        QVERIFY(!maintenance.add(window).isEmpty());
        data.addEntry(DeviceEntry(QStringLiteral("10.0.0.3"), QString(), DeviceTypePC, false, QString()));
        QCOMPARE(series(),
                 QStringList({"tarnwick_device_in_maintenance{address=\"10.0.0.1\"} 1",
                              "tarnwick_device_in_maintenance{address=\"10.0.0.2\"} 1",
                              "tarnwick_device_in_maintenance{address=\"10.0.0.3\"} 1"}));
    }

    // A port that is taken is said, not served twice.
    void aTakenPortIsRefused()
    {
        Data data;
        DeviceStatistics statistics;
        FixedReachability reachability;
        const auto metrics = std::make_shared<DeviceMetrics>(data, statistics, reachability, QStringLiteral("1"),
                                                             [] { return true; });
        MetricsServer first;
        QString error;
        QVERIFY2(first.listen(anyFreePort(), metrics, &error), qPrintable(error));
        QVERIFY(first.port() > 0);
        MetricsServer second;
        const MetricsAddress taken{QStringLiteral("127.0.0.1:%1").arg(first.port()), {}};
        QVERIFY(!second.listen(taken, metrics, &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(second.port(), 0);
    }

    // Quitting waits on the server's end: it must not sit out the listener's idle wait after a
    // scrape. The old wait was a second or more; 500 ms leaves a loaded machine room to
    // schedule the server's few threads.
    void endsPromptlyAfterAScrape()
    {
        Data data;
        DeviceStatistics statistics;
        FixedReachability reachability;
        const auto metrics = std::make_shared<DeviceMetrics>(data, statistics, reachability, QStringLiteral("1"),
                                                             [] { return true; });
        auto server = std::make_unique<MetricsServer>();
        QString error;
        QVERIFY2(server->listen(anyFreePort(), metrics, &error), qPrintable(error));
        QVERIFY(httpGet(server->port(), "/metrics").contains("tarnwick_devices 0"));
        QElapsedTimer ending;
        ending.start();
        server.reset();
        QCOMPARE_LT(ending.elapsed(), 500);
    }

    // Gzipped for a client that accepts it, as Prometheus does, and reading back to the plain
    // page; typed as the text format; nothing but /metrics served.
    void servesThePageGzippedWhenAsked()
    {
        const FiftyDevices fifty;
        MetricsServer server;
        QString error;
        QVERIFY2(server.listen(anyFreePort(), fifty.metrics, &error), qPrintable(error));
        QByteArray head;
        const QByteArray plain = httpGet(server.port(), "/metrics", {}, &head);
        QVERIFY(head.contains("\r\nContent-Type: text/plain; version=0.0.4; charset=utf-8\r\n"));
        QVERIFY(!head.contains("Content-Encoding"));
        QVERIFY(plain.contains("tarnwick_devices 50\n"));
        const QByteArray gzipped = httpGet(server.port(), "/metrics", "Accept-Encoding: gzip\r\n", &head);
        QVERIFY(head.contains("\r\nContent-Encoding: gzip\r\n"));
        QVERIFY(head.contains("\r\nVary: Accept-Encoding\r\n"));
        QCOMPARE_LT(gzipped.size(), plain.size() / 4);
        QByteArray inflated(plain.size() * 2, '\0');
        z_stream zip = {};
        QCOMPARE(inflateInit2(&zip, 15 + 16), Z_OK);
        zip.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gzipped.constData()));
        zip.avail_in = uInt(gzipped.size());
        zip.next_out = reinterpret_cast<Bytef*>(inflated.data());
        zip.avail_out = uInt(inflated.size());
        QCOMPARE(inflate(&zip, Z_FINISH), Z_STREAM_END);
        inflated.truncate(qsizetype(zip.total_out));
        inflateEnd(&zip);
        QCOMPARE(inflated, plain);
        for (const char* elsewhere : {"/", "/metricsX", "/metrics/"}) {
            QVERIFY(httpGet(server.port(), elsewhere, {}, &head).isEmpty());
            QVERIFY2(head.startsWith("HTTP/1.0 404 Not Found"),
                     elsewhere); // as civetweb answers what it has no handler for
        }
    }

    void acceptEncodingIsWeighed_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<bool>("gzip");
        QTest::newRow("Prometheus") << QByteArray("gzip") << true;
        QTest::newRow("among others") << QByteArray("deflate, GZip;q=0.5, br") << true;
        QTest::newRow("refused") << QByteArray("gzip;q=0") << false;
        QTest::newRow("refused, spaced") << QByteArray("identity, gzip ; q=0.000") << false;
        QTest::newRow("any") << QByteArray("*") << true;
        QTest::newRow("any but gzip") << QByteArray("*, gzip;q=0") << false;
        QTest::newRow("a name that only holds it") << QByteArray("gzipped, nogzip") << false;
        QTest::newRow("weight unreadable") << QByteArray("gzip;q=x") << false;
    }

    void acceptEncodingIsWeighed()
    {
        QFETCH(QByteArray, header);
        QFETCH(bool, gzip);
        QCOMPARE(MetricsServer::acceptsGzip(header.constData()), gzip);
    }

    // Scrapes at once each get their whole page, also where each lets the pages go after sending
    // (as pages of many devices are): one scrape's letting go never takes the page rendered for
    // another that waits to take it.
    void scrapesAtOnceEachGetTheirPage()
    {
        const FiftyDevices fifty;
        MetricsPage page(fifty.metrics, 0);
        const int scrapers = 6;
        const int each = 200;
        std::atomic<int> whole = 0;
        std::vector<std::thread> threads;
        for (int t = 0; t < scrapers; ++t)
            threads.emplace_back([&page, &whole, t] {
                for (int i = 0; i < each; ++i)
                    page.serve((t + i) % 2 == 0, [&whole](std::string_view sent) { whole += sent.empty() ? 0 : 1; });
            });
        for (std::thread& thread : threads)
            thread.join();
        QCOMPARE(whole.load(), scrapers * each);
    }

    // A client that asks for a page larger than the sockets hold and never reads it keeps its
    // own page: the next scrape is served meanwhile, not after the server gives up on it.
    void aClientThatDoesNotReadHoldsUpNoScrape()
    {
        Data data;
        for (int i = 0; i < 5000; ++i)
            data.addEntry(DeviceEntry(QStringLiteral("10.%1.%2.%3").arg(i >> 16).arg((i >> 8) & 255).arg(i & 255),
                                      QString(), DeviceTypePC, false, QString()));
        DeviceStatistics statistics;
        FixedReachability reachability;
        const auto metrics = std::make_shared<DeviceMetrics>(data, statistics, reachability, QStringLiteral("1"), true);
        MetricsServer server(MetricsServer::Limits{4, 120000});
        QString error;
        QVERIFY2(server.listen(anyFreePort(), metrics, &error), qPrintable(error));
        const StalledClient stalled(server.port(), StalledClient::NeverReads);
        QVERIFY(stalled.connected());
        QTRY_VERIFY(stalled.answered()); // the page is on its way to it
        QVERIFY(httpGet(server.port(), "/metrics").contains("tarnwick_devices 5000\n"));
    }

    void scrapesBesideStalledClients_data()
    {
        QTest::addColumn<int>("threads"); // 0: the server's own limits
        QTest::addColumn<int>("requestTimeoutMs");
        QTest::addColumn<int>("idle");
        QTest::addColumn<int>("slow");
        QTest::addColumn<int>("dripMs");
        QTest::addColumn<bool>("slowOnesCutOff");
        QTest::newRow("two idle and one slow client, as served") << 0 << 0 << 2 << 1 << 2000 << false;
        QTest::newRow("more stalled clients than threads") << 2 << 1500 << 1 << 2 << 400 << true;
    }

    // Connections that never finish their request neither block a scrape for good nor keep
    // their thread beyond the request time-out, however often they send a little more.
    void scrapesBesideStalledClients()
    {
        QFETCH(int, threads);
        QFETCH(int, requestTimeoutMs);
        QFETCH(int, idle);
        QFETCH(int, slow);
        QFETCH(int, dripMs);
        QFETCH(bool, slowOnesCutOff);
        Data data;
        DeviceStatistics statistics;
        FixedReachability reachability;
        const auto metrics = std::make_shared<DeviceMetrics>(data, statistics, reachability, QStringLiteral("1"),
                                                             [] { return true; });
        MetricsServer server(threads ? MetricsServer::Limits{threads, requestTimeoutMs} : MetricsServer::Limits{});
        QString error;
        QVERIFY2(server.listen(anyFreePort(), metrics, &error), qPrintable(error));

        std::vector<std::unique_ptr<StalledClient>> clients;
        for (int i = 0; i < idle + slow; ++i) {
            clients.push_back(std::make_unique<StalledClient>(server.port(), i < idle ? 0 : dripMs));
            QVERIFY(clients.back()->connected());
        }
        QVERIFY(httpGet(server.port(), "/metrics").contains("tarnwick_devices 0"));
        if (slowOnesCutOff) {
            for (const auto& client : clients)
                QTRY_VERIFY_WITH_TIMEOUT(client->closedByServer(), 3 * requestTimeoutMs);
        }
    }
};

QTEST_GUILESS_MAIN(TestMetrics)
#include "tst_metrics.moc"
