// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/DevicePath.h"
#include "data/Reachability.h"

#include <QTest>

using namespace Tarnwick;

// What is cut off behind a failed device, on small networks drawn as text: "a-b b-c" are the
// lines, the down list names the disconnected devices, the result "c<b d<b" who is behind whom.
// Heard lists results in their order: "r+" r answered, "a-" a missed its first reply.
class TestReachability : public QObject
{
    Q_OBJECT

private slots:
    void cutOff_data()
    {
        QTest::addColumn<QString>("links");
        QTest::addColumn<QString>("down");
        QTest::addColumn<QString>("firstHop");
        QTest::addColumn<QString>("behind");
        QTest::addColumn<QString>("heard");
        QTest::newRow("chain: all behind the router") << "gw-r r-a a-b"
                                                      << "r a b"
                                                      << "gw"
                                                      << "a<r b<r"
                                                      << "";
        QTest::newRow("chain: only the far end down") << "gw-r r-a a-b"
                                                      << "b"
                                                      << "gw"
                                                      << ""
                                                      << "";
        QTest::newRow("star: leaves behind the hub") << "gw-hub hub-x hub-y hub-z"
                                                     << "hub x y"
                                                     << "gw"
                                                     << "x<hub y<hub"
                                                     << "";
        QTest::newRow("star: a leaf down alone") << "gw-hub hub-x hub-y"
                                                 << "x"
                                                 << "gw"
                                                 << ""
                                                 << "";
        QTest::newRow("ring: the other way is up") << "gw-a a-c gw-b b-c"
                                                   << "a c"
                                                   << "gw"
                                                   << ""
                                                   << "";
        QTest::newRow("ring: both ways down") << "gw-a a-c gw-b b-c"
                                              << "a b c"
                                              << "gw"
                                              << "c<a"
                                              << "";
        QTest::newRow("a device with no line") << "gw-a"
                                               << "a lonely"
                                               << "gw"
                                               << ""
                                               << "";
        QTest::newRow("the first hop itself down") << "gw-a a-b"
                                                   << "gw a b"
                                                   << "gw"
                                                   << "a<gw b<gw"
                                                   << "";
        QTest::newRow("no first hop") << "gw-a a-b"
                                      << "a b"
                                      << ""
                                      << ""
                                      << "";
        QTest::newRow("an answering device between two failed ones") << "gw-r r-s s-t"
                                                                     << "r t"
                                                                     << "gw"
                                                                     << "t<r"
                                                                     << "";
        QTest::newRow("down long before the router failed") << "gw-r r-a r-b"
                                                            << "r a b"
                                                            << "gw"
                                                            << "b<r"
                                                            << "r+ a- r+ r- b-";
        QTest::newRow("down in the round the router failed") << "gw-r r-a r-b"
                                                             << "r a b"
                                                             << "gw"
                                                             << "a<r b<r"
                                                             << "r+ a- r- b-";
        QTest::newRow("behind the router, past one down earlier") << "gw-r r-d d-e"
                                                                  << "r d e"
                                                                  << "gw"
                                                                  << "e<r"
                                                                  << "r+ d- r+ r- e-";
        QTest::newRow("failed together, first hop answering later") << "gw-a a-b"
                                                                    << "a b"
                                                                    << "gw"
                                                                    << "b<a"
                                                                    << "a- b- gw+";
    }

    void cutOff()
    {
        QFETCH(QString, links);
        QFETCH(QString, down);
        QFETCH(QString, firstHop);
        QFETCH(QString, behind);
        QFETCH(QString, heard);
        Reachability::Links lines;
        for (const QString& line : links.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            lines << qMakePair(line.section(QLatin1Char('-'), 0, 0), line.section(QLatin1Char('-'), 1, 1));
        QHash<QString, bool> up;
        for (const auto& line : std::as_const(lines)) {
            up.insert(line.first, true);
            up.insert(line.second, true);
        }
        for (const QString& ip : down.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            up.insert(ip, false);
        QHash<QString, Reachability::Heard> times;
        qint64 tick = 0;
        for (const QString& result : heard.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            Reachability::Heard& device = times[result.chopped(1)];
            (result.endsWith(QLatin1Char('+')) ? device.lastAnswer : device.firstMiss) = ++tick;
        }
        const QHash<QString, QString> result = Reachability::cutOff(lines, up, firstHop, times);
        QStringList texts;
        for (auto it = result.cbegin(); it != result.cend(); ++it)
            texts << it.key() + QLatin1Char('<') + it.value();
        texts.sort();
        QCOMPARE(texts.join(QLatin1Char(' ')), behind);
    }

    // A new trace against the way known ("*" a hop that did not answer): whether it is the same
    // way, and the routers kept.
    void pathsCompareAndFillIn_data()
    {
        QTest::addColumn<QString>("known");
        QTest::addColumn<QString>("found");
        QTest::addColumn<bool>("same");
        QTest::addColumn<QString>("kept");
        QTest::newRow("the same") << "a b c"
                                  << "a b c" << true << "a b c";
        QTest::newRow("a hop held back keeps its router") << "a b c"
                                                          << "a * c" << true << "a b c";
        QTest::newRow("another router") << "a b c"
                                        << "a x c" << false << "a x c";
        QTest::newRow("a hop more") << "a b c"
                                    << "a b x c" << false << "a b x c";
        QTest::newRow("on another way, a silent hop between known ones is filled") << "a b c"
                                                                                   << "* b x c" << false << "a b x c";
        QTest::newRow("where its neighbours differ it stays unknown") << "a b c"
                                                                      << "a * x y" << false << "a * x y";
    }
    void pathsCompareAndFillIn()
    {
        QFETCH(QString, known);
        QFETCH(QString, found);
        const auto routers = [](const QString& text) {
            QStringList hops = text.split(QLatin1Char(' '));
            for (QString& hop : hops)
                hop.replace(QLatin1Char('*'), QString());
            return hops;
        };
        const DevicePath path{routers(known), 0};
        QTEST(path.sameWayAs(routers(found)), "same");
        QTEST(path.filledIn(routers(found)).join(QLatin1Char(' ')).replace(QStringLiteral("  "), QStringLiteral(" * ")),
              "kept");
    }
};

QTEST_GUILESS_MAIN(TestReachability)
#include "tst_reachability.moc"
