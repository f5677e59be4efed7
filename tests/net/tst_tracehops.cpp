// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/TraceHops.h"

#include <QTest>

using namespace Tarnwick;

Q_DECLARE_METATYPE(TraceHops::End)

namespace {

const QString Destination = QStringLiteral("10.0.3.7");

// One outcome per word, "hop.probe:what": "1.0:10.0.0.1" time exceeded from that router,
// "4.0:reply" the destination's echo reply, "2.1:*" no answer, "3.0:!1@10.0.0.3" unreachable
// (code 1) from that router, "2.0:error" a request that could not leave.
ProbeResult outcome(const QString& what)
{
    if (what == QLatin1String("reply"))
        return ProbeResult::reply(std::chrono::microseconds(700));
    if (what == QLatin1String("*"))
        return ProbeResult::timeout();
    if (what == QLatin1String("error"))
        return ProbeResult::notSent(QStringLiteral("network unreachable"));
    ProbeResult result = ProbeResult::timeout();
    if (what.startsWith(QLatin1Char('!'))) {
        const QStringList parts = what.mid(1).split(QLatin1Char('@'));
        result.errorAnswer = {parts.at(1), 500, 3, std::uint8_t(parts.at(0).toInt()), false};
    } else {
        result.errorAnswer = {what, 300, 11, 0, true};
    }
    return result;
}

} // namespace

class TestTraceHops : public QObject
{
    Q_OBJECT

private slots:
    void pathFromAnswers_data();
    void pathFromAnswers();
};

void TestTraceHops::pathFromAnswers_data()
{
    QTest::addColumn<QString>("answers");
    QTest::addColumn<bool>("finished");
    QTest::addColumn<TraceHops::End>("end");
    QTest::addColumn<QStringList>("routers");
    QTest::addColumn<QString>("marks"); // of the last hop's probes, joined
    QTest::addColumn<QString>("loop");

    QTest::newRow("three routers, then the destination")
        << "1.0:10.0.0.1 1.1:10.0.0.1 2.0:10.0.1.1 2.1:10.0.1.1 3.0:10.0.2.1 3.1:10.0.2.1 4.0:reply 4.1:reply" << true
        << TraceHops::End::Reached << QStringList{"10.0.0.1", "10.0.1.1", "10.0.2.1"} << ","
        << "";
    QTest::newRow("answers in any order; hops past the destination count for nothing")
        << "5.0:reply 4.1:reply 3.0:10.0.2.1 1.1:10.0.0.1 2.0:10.0.1.1 4.0:reply 2.1:10.0.1.1 1.0:10.0.0.1 3.1:*"
        << true << TraceHops::End::Reached << QStringList{"10.0.0.1", "10.0.1.1", "10.0.2.1"} << ","
        << "";
    QTest::newRow("a hop still waiting keeps the trace open")
        << "1.0:10.0.0.1 2.0:reply 2.1:reply 3.0:reply 3.1:reply" << false << TraceHops::End::Open
        << QStringList{"10.0.0.1"} << ","
        << "";
    QTest::newRow("a silent hop is an empty router")
        << "1.0:10.0.0.1 1.1:10.0.0.1 2.0:* 2.1:* 3.0:reply 3.1:reply" << true << TraceHops::End::Reached
        << QStringList{"10.0.0.1", ""} << ","
        << "";
    QTest::newRow("a middlebox answering every hop limit is a path of one hop")
        << "1.0:reply 1.1:reply 2.0:reply" << true << TraceHops::End::Reached << QStringList{} << ","
        << "";
    QTest::newRow("a router's unreachable ends the path there")
        << "1.0:10.0.0.1 1.1:10.0.0.1 2.0:!0@10.0.1.1 2.1:* 3.0:10.0.2.1" << true << TraceHops::End::Unreachable
        << QStringList{"10.0.0.1", "10.0.1.1"} << "!N,"
        << "";
    QTest::newRow("a router's late unreachable belongs to the hop after its own")
        << "1.0:10.0.0.1 1.1:10.0.0.1 2.0:* 2.1:* 3.0:* 3.1:* 4.0:!1@10.0.0.1" << true << TraceHops::End::Unreachable
        << QStringList{"10.0.0.1", "10.0.0.1"} << "!H,"
        << "";
    QTest::newRow("the destination's own unreachable says it was reached")
        << "1.0:10.0.0.1 1.1:10.0.0.1 2.0:!3@10.0.3.7 2.1:!1@10.0.3.7" << true << TraceHops::End::Reached
        << QStringList{"10.0.0.1"} << ",!H"
        << "";
    QTest::newRow("a request that cannot leave ends the trace")
        << "1.0:error 1.1:error" << true << TraceHops::End::NotSent << QStringList{""} << ","
        << "";
    QTest::newRow("no end within the hops tried")
        << "1.0:10.0.0.1 1.1:10.0.0.1 2.0:* 2.1:* 3.0:10.0.2.1 3.1:* 4.0:* 4.1:* 5.0:* 5.1:*" << true
        << TraceHops::End::HopsUsedUp << QStringList{"10.0.0.1", "", "10.0.2.1", "", ""} << ","
        << "";
    QTest::newRow("a loop")
        << "1.0:10.0.0.1 1.1:10.0.0.1 2.0:10.0.1.1 2.1:10.0.1.1 3.0:10.0.0.1 3.1:* 4.0:* 4.1:10.0.1.1 5.0:* 5.1:*"
        << true << TraceHops::End::HopsUsedUp << QStringList{"10.0.0.1", "10.0.1.1", "10.0.0.1", "10.0.1.1", ""} << ","
        << "10.0.0.1";
}

void TestTraceHops::pathFromAnswers()
{
    QFETCH(QString, answers);
    TraceHops hops(Destination, 5, 2);
    for (const QString& answer : answers.split(QLatin1Char(' '))) {
        const qsizetype colon = answer.indexOf(QLatin1Char(':'));
        const QStringList slot = answer.left(colon).split(QLatin1Char('.'));
        hops.record(slot.at(0).toInt(), slot.at(1).toInt(), outcome(answer.mid(colon + 1)));
    }
    QTEST(hops.finished(), "finished");
    QTEST(hops.end(), "end");
    QTEST(hops.routers(), "routers");
    QStringList marks;
    for (const TraceHops::Probe& probe : hops.hop(hops.lastHop()).probes)
        marks << probe.mark;
    QTEST(marks.join(QLatin1Char(',')), "marks");
    QTEST(hops.loopingAddress(), "loop");
}

QTEST_GUILESS_MAIN(TestTraceHops)
#include "tst_tracehops.moc"
