// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Data.h"
#include "data/MapLayout.h"
#include "data/Settings.h"
#include "data/VisualRepresentationData.h"
#include "map/DeviceEntryRepresentationGraphicsItem.h"
#include "map/VisualRepresentationWidget.h"
#include "skin/SkinResources.h"
#include "skin/SlowMark.h"

#include "../common/FixedReachability.h"
#include "../common/FixedSlowness.h"
#include "../common/WidgetTest.h"

#include <QAccessible>
#include <QDir>
#include <QFontMetricsF>
#include <QGraphicsLineItem>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

using namespace std::chrono_literals;

using namespace Tarnwick;

namespace {

const QColor DiscColour(200, 222, 255);

QList<QGraphicsLineItem*> lines(QGraphicsScene* scene)
{
    QList<QGraphicsLineItem*> result;
    for (QGraphicsItem* item : scene->items(Qt::AscendingOrder)) {
        if (auto* line = qgraphicsitem_cast<QGraphicsLineItem*>(item))
            result << line;
    }
    return result;
}

QList<DeviceEntryRepresentationGraphicsItem*> badges(QGraphicsScene* scene)
{
    QList<DeviceEntryRepresentationGraphicsItem*> result;
    for (QGraphicsItem* item : scene->items(Qt::AscendingOrder)) {
        if (auto* badge = dynamic_cast<DeviceEntryRepresentationGraphicsItem*>(item))
            result << badge;
    }
    return result;
}

// The badge drawn on a transparent 600 x 400 picture with its centre at (300, 200).
QImage render(DeviceEntryRepresentationGraphicsItem& badge)
{
    QImage image(600, 400, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.translate(300, 200);
    badge.paint(&painter, nullptr, nullptr);
    return image;
}

QColor at(const QImage& image, int x, int y)
{
    return image.pixelColor(300 + x, 200 + y);
}

} // namespace

class TestMapView : public QObject
{
    Q_OBJECT

    Data* m_data = nullptr;
    VisualRepresentationData* m_map = nullptr;

private slots:
    void initTestCase()
    {
        QVERIFY(QDir::setCurrent(QStringLiteral(TARNWICK_SOURCE_DIR)));
        Settings::instance().skin = QStringLiteral("Default");
        SkinResources::load();
    }

    void init()
    {
        m_data = new Data;
        Data::setInstance(m_data);
        m_data->addEntry(DeviceEntry(QStringLiteral("a"), QString(), DeviceTypePC, false, NoReplyResult));
        m_data->addEntry(DeviceEntry(QStringLiteral("b"), QString(), DeviceTypeRouter, false, NoReplyResult));
        m_map = new VisualRepresentationData;
        VisualRepresentationData::setInstance(m_map);
    }

    void cleanup()
    {
        delete m_map;
        delete m_data;
        QCoreApplication::processEvents();
    }

    void dottedLineUnderBothBadges()
    {
        m_map->appendItem({QStringLiteral("a"), 0, 0});
        m_map->appendItem({QStringLiteral("b"), 200, 100});
        m_map->appendConnection({QStringLiteral("a"), QStringLiteral("b"), 3});
        VisualRepresentationWidget widget;
        const QList<QGraphicsLineItem*> found = lines(widget.scene());
        QCOMPARE(found.size(), 1);
        QCOMPARE(found[0]->line(), QLineF(0, 0, 200, 100));
        const QPen pen = found[0]->pen();
        QCOMPARE(pen.widthF(), 1.0);
        QCOMPARE(pen.style(), Qt::DotLine);
        QCOMPARE(pen.color(), QColor(0, 0, 0, 255));
        QCOMPARE(pen.capStyle(), Qt::SquareCap);
        QCOMPARE(pen.joinStyle(), Qt::BevelJoin);
        QCOMPARE(found[0]->zValue(), 0.0);
        const auto placed = badges(widget.scene());
        QCOMPARE(placed.size(), 2);
        QCOMPARE(placed[0]->zValue(), 1.0);
        QCOMPARE(placed[1]->zValue(), 2.0);
        QCOMPARE(placed[1]->pos(), QPointF(200, 100));
        QCOMPARE(widget.view()->dragMode(), QGraphicsView::ScrollHandDrag);
    }

    void linePens_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<qreal>("width");
        QTest::addColumn<int>("style");
        QTest::newRow("thin solid") << 1 << 1.0 << int(Qt::SolidLine);
        QTest::newRow("thick solid") << 2 << 2.0 << int(Qt::SolidLine);
        QTest::newRow("thick dotted") << 4 << 2.0 << int(Qt::DotLine);
        QTest::newRow("other type, default pen") << 7 << 1.0 << int(Qt::SolidLine);
    }

    void linePens()
    {
        QFETCH(int, type);
        QFETCH(qreal, width);
        QFETCH(int, style);
        m_map->appendItem({QStringLiteral("a"), 0, 0});
        m_map->appendItem({QStringLiteral("b"), 10, 10});
        m_map->appendConnection({QStringLiteral("a"), QStringLiteral("b"), type});
        VisualRepresentationWidget widget;
        const QPen pen = lines(widget.scene()).value(0)->pen();
        QCOMPARE(pen.widthF(), width);
        QCOMPARE(int(pen.style()), style);
        if (type > 4)
            QCOMPARE(pen, QPen());
    }

    void unplacedEndsDrawNothingAndDuplicatesAttachToTheFirst()
    {
        m_map->appendItem({QStringLiteral("a"), 0, 0});
        m_map->appendItem({QStringLiteral("a"), 50, 50});
        m_map->appendItem({QStringLiteral("b"), 100, 0});
        m_map->appendConnection({QStringLiteral("a"), QStringLiteral("nowhere"), 1});
        m_map->appendConnection({QStringLiteral("b"), QStringLiteral("a"), 2});
        VisualRepresentationWidget widget;
        const QList<QGraphicsLineItem*> found = lines(widget.scene());
        QCOMPARE(found.size(), 1);
        QCOMPARE(found[0]->line(), QLineF(100, 0, 0, 0));
        QCOMPARE(found[0]->zValue(), 0.0);
        const auto placed = badges(widget.scene());
        QCOMPARE(placed.size(), 3);
        QCOMPARE(placed[0]->zValue(), 1.0);

        // Both badges of the duplicated address follow its changes.
        m_data->setPingResults({{QStringLiteral("a"), 0, ProbeResult::reply(6ms)}});
        QCOMPARE(placed[0]->entry().pingResult, QStringLiteral("6"));
        QCOMPARE(placed[1]->entry().pingResult, QStringLiteral("6"));
        QCOMPARE(placed[2]->entry().pingResult, QStringLiteral("X"));
    }

    // A badge's texts fit it whatever their length, and it draws nothing outside its bounds. A
    // failed device is tinted red, one cut off behind another amber; the status line says why.
    void badgeLooksAndTextsFit_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("behind");
        QTest::addColumn<QColor>("fill");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QColor>("statusColour");
        QTest::newRow("connected") << "a"
                                   << "12"
                                   << "" << DiscColour << "12 ms" << QColor(Qt::black);
        QTest::newRow("failed") << "192.168.152.123"
                                << "X"
                                << "" << QColor(255, 205, 205) << "X" << QColor(160, 0, 0);
        QTest::newRow("unreachable") << "192.168.152.123"
                                     << "X"
                                     << "192.168.152.254" << QColor(255, 234, 190)
                                     << "unreachable|behind 192.168.152.254" << QColor(130, 75, 0);
        QTest::newRow("not in list") << "unknown"
                                     << ""
                                     << "" << QColor(225, 225, 225) << "not in list" << QColor(120, 120, 120);
    }

    void badgeLooksAndTextsFit()
    {
        QFETCH(QString, ip);
        QFETCH(QString, result);
        QFETCH(QString, behind);
        QFETCH(QColor, fill);
        QFETCH(QString, status);
        QFETCH(QColor, statusColour);
        if (!result.isEmpty()) {
            m_data->addEntry(
                DeviceEntry(ip, QStringLiteral("Printer on the second floor"), DeviceTypePC, false, NoReplyResult));
            m_data->setPingResults(
                {{ip, 0,
                  result == QLatin1String("X") ? ProbeResult::timeout()
                                               : ProbeResult::reply(std::chrono::milliseconds(result.toInt()))}});
        }
        DeviceEntryRepresentationGraphicsItem badge(ip);
        badge.setCutOffBehind(behind);
        QVERIFY(badge.lines().join(QLatin1Char('|')).endsWith(status));
        status = status.section(QLatin1Char('|'), -1);
        const QImage image = render(badge);
        QCOMPARE(at(image, 40, -30), fill);
        // The status line is drawn whole: its ink reaches both ends of the text's width.
        const qreal half = QFontMetricsF(QFont()).horizontalAdvance(status) / 2;
        int left = 300;
        int right = -300;
        for (int y = 4; y < 200; ++y) {
            for (int x = -300; x < 300; ++x) {
                const QColor c = at(image, x, y);
                if (std::abs(c.red() - statusColour.red()) < 35 && std::abs(c.green() - statusColour.green()) < 35
                    && std::abs(c.blue() - statusColour.blue()) < 35 && c.alpha() == 255) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
            }
        }
        QVERIFY2(left <= -half + 8 && right >= half - 8,
                 qPrintable(QStringLiteral("ink from %1 to %2, text %3 wide").arg(left).arg(right).arg(2 * half)));
        // Whatever lies outside the bounding rectangle would be left behind when the badge moves.
        const QRect bounds = badge.boundingRect().toAlignedRect().translated(300, 200);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (!bounds.contains(x, y))
                    QCOMPARE(image.pixelColor(x, y).alpha(), 0);
            }
        }
    }

    void badgeWithoutPicturesShowsTheDisc_data()
    {
        QTest::addColumn<int>("type");
        QTest::newRow("type 0") << 0;
        QTest::newRow("type 5") << 5;
    }

    void badgeWithoutPicturesShowsTheDisc()
    {
        QFETCH(int, type);
        m_data->addEntry(DeviceEntry(QStringLiteral("t"), QString(), type, false, NoReplyResult));
        m_data->setPingResults({{QStringLiteral("t"), 0, ProbeResult::reply(3ms)}});
        DeviceEntryRepresentationGraphicsItem badge(QStringLiteral("t"));
        const QImage image = render(badge);
        QCOMPARE(at(image, 0, -24), DiscColour);
        // The state picture is there all the same.
        QVERIFY(at(image, -41, -21) != DiscColour);
    }

    // The badges follow what the view of reachability says, placed before it or after.
    void badgesShowWhoIsCutOff()
    {
        m_map->appendItem({QStringLiteral("a"), 0, 0});
        m_data->setPingResults({{QStringLiteral("a"), 0, ProbeResult::timeout()}});
        FixedReachability reachability;
        reachability.set({{QStringLiteral("a"), QStringLiteral("b")}});
        VisualRepresentationWidget widget;
        QCOMPARE(widget.badge(QStringLiteral("a"))->look(), DeviceEntryRepresentationGraphicsItem::Look::Failed);
        widget.setReachability(&reachability);
        QCOMPARE(widget.badge(QStringLiteral("a"))->look(), DeviceEntryRepresentationGraphicsItem::Look::Unreachable);
        reachability.set({});
        QCOMPARE(widget.badge(QStringLiteral("a"))->look(), DeviceEntryRepresentationGraphicsItem::Look::Failed);
        m_data->addEntry(DeviceEntry(QStringLiteral("c"), QString(), DeviceTypePC, false, NoReplyResult));
        m_data->setPingResults({{QStringLiteral("c"), 0, ProbeResult::timeout()}});
        reachability.set({{QStringLiteral("c"), QStringLiteral("b")}});
        m_map->addItem({QStringLiteral("c"), 100, 0});
        QCOMPARE(widget.badge(QStringLiteral("c"))->lines().last(), QStringLiteral("behind b"));
    }

    // A slow device's state picture carries the amber mark, drawn on it; one placed after the
    // view said so is marked too, and a device down is not.
    void slowBadgesAreMarked()
    {
        m_map->appendItem({QStringLiteral("a"), 0, 0});
        m_data->setPingResults({{QStringLiteral("a"), 0, ProbeResult::reply(3ms)}});
        m_data->setPingResults({{QStringLiteral("b"), 0, ProbeResult::reply(3ms)}});
        FixedSlowness slowness;
        VisualRepresentationWidget widget;
        widget.setSlowView(&slowness);
        DeviceEntryRepresentationGraphicsItem* a = widget.badge(QStringLiteral("a"));
        const QImage plain = render(*a);
        slowness.set(QStringLiteral("a"), true);
        QVERIFY(a->showsSlow());
        const QImage marked = render(*a);
        // The lower right of the state picture, at (-50, -30) and 18 wide.
        QCOMPARE(at(marked, -36, -16), SlowMark::Amber);
        QVERIFY(at(plain, -36, -16) != SlowMark::Amber);
        slowness.set(QStringLiteral("b"), true);
        m_map->addItem({QStringLiteral("b"), 100, 0});
        QVERIFY(widget.badge(QStringLiteral("b"))->showsSlow());
        m_data->setPingResults({{QStringLiteral("a"), 0, ProbeResult::timeout()}});
        QVERIFY(!a->showsSlow());
        slowness.set(QStringLiteral("b"), false);
        QVERIFY(!widget.badge(QStringLiteral("b"))->showsSlow());
    }

    void badgeFollowsOnlyItsOwnAddress()
    {
        m_map->appendItem({QStringLiteral("a"), 0, 0});
        VisualRepresentationWidget widget;
        DeviceEntryRepresentationGraphicsItem* badge = badges(widget.scene()).value(0);
        m_data->setPingResults({{QStringLiteral("b"), 0, ProbeResult::reply(9ms)}});
        QCOMPARE(badge->entry().pingResult, QStringLiteral("X"));
        QCOMPARE(badge->entry().state, int(DeviceStateDisconnected));
        m_data->setPingResults({{QStringLiteral("a"), 0, ProbeResult::reply(3ms)}});
        QCOMPARE(badge->entry().pingResult, QStringLiteral("3"));
        QCOMPARE(badge->entry().state, int(DeviceStateConnected));
    }

    void dragTakesTheLinesAndKeepsThePlace_data()
    {
        QTest::addColumn<int>("button");
        QTest::newRow("left") << int(Qt::LeftButton);
        QTest::newRow("right") << int(Qt::RightButton);
    }

    void dragTakesTheLinesAndKeepsThePlace()
    {
        QFETCH(int, button);
        m_map->appendItem({QStringLiteral("a"), 10, 20});
        m_map->appendItem({QStringLiteral("b"), 200, 20});
        m_map->appendConnection({QStringLiteral("a"), QStringLiteral("b"), 1});
        VisualRepresentationWidget widget;
        widget.resize(900, 600);
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));
        const auto inView = [&widget] { return widget.view()->mapToScene(widget.view()->viewport()->rect().center()); };
        const QPointF inViewBefore = inView();
        DeviceEntryRepresentationGraphicsItem* badge = badges(widget.scene()).value(0);
        int moves = 0;
        connect(badge, &DeviceEntryRepresentationGraphicsItem::PositionChanged, this, [&]() { ++moves; });
        QList<VisualRepresentationItem> changed;
        connect(m_map, &VisualRepresentationData::ItemChanged, this,
                [&](const VisualRepresentationItem& item) { changed << item; });
        const QRectF sceneBefore = widget.scene()->sceneRect();

        // Dragged by the mouse, 30 pixels to the right at the view's scale of one.
        QCOMPARE(widget.view()->transform().m11(), 1.0);
        QWidget* viewport = widget.view()->viewport();
        const QPoint from = widget.view()->mapFromScene(badge->sceneBoundingRect().center());
        const QPoint to = from + QPoint(30, 0);
        QTest::mousePress(viewport, Qt::MouseButton(button), Qt::NoModifier, from);
        QTest::mouseMove(viewport, to);
        // While it moves, its line's end moves with it, and the scene does not change.
        QCOMPARE(lines(widget.scene()).value(0)->line(), QLineF(40, 20, 200, 20));
        QCOMPARE(widget.scene()->sceneRect(), sceneBefore);
        QVERIFY(changed.isEmpty());
        QTest::mouseRelease(viewport, Qt::MouseButton(button), Qt::NoModifier, to);

        QCOMPARE(badge->pos(), QPointF(40, 20));
        QCOMPARE(moves, 1);
        QCOMPARE(changed, QList<VisualRepresentationItem>({{QStringLiteral("a"), 40, 20}}));
        QCOMPARE(m_map->item(QStringLiteral("a"))->x, 40);
        QVERIFY(widget.scene()->sceneRect().contains(badge->sceneBoundingRect()));
        // What was in view stays in view: the grown scene does not move it.
        QVERIFY(QLineF(inView(), inViewBefore).length() < 1);
    }

    // The context menu's actions on empty ground, on a badge and on a line.
    void contextMenuEdits()
    {
        m_data->addEntry(DeviceEntry(QStringLiteral("c"), QString(), DeviceTypePC, false, NoReplyResult));
        m_map->appendItem({QStringLiteral("a"), 0, 0});
        m_map->appendItem({QStringLiteral("b"), 400, 0});
        m_map->appendConnection({QStringLiteral("a"), QStringLiteral("b"), 1});
        VisualRepresentationWidget widget;
        widget.resize(900, 600);
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));
        QStringList offered;
        QString pick;
        widget.setMenuRunner([&](QMenu* menu, const QPoint& at) {
            offered.clear();
            for (QAction* action : menu->actions())
                offered << action->text();
            QVERIFY2(chooseInMenu(menu, at, pick), qPrintable(pick));
        });
        QStringList candidates;
        widget.setDeviceChooser([&](QWidget*, const QStringList& offeredDevices) {
            candidates = offeredDevices;
            return QStringLiteral("c");
        });
        QGraphicsView* view = widget.view();

        // On empty ground: the devices not on the map yet, placed where the menu opened.
        pick = QStringLiteral("Add device...");
        rightClickForMenu(view->viewport(), view->mapFromScene(QPointF(200, 250)));
        QCOMPARE(offered, QStringList({"Add device...", "Place all devices", "Fit to window"}));
        QCOMPARE(candidates, QStringList{"c"});
        QCOMPARE(m_map->item(QStringLiteral("c")), std::optional<VisualRepresentationItem>({"c", 200, 250}));
        QCOMPARE(badges(widget.scene()).size(), 3);

        // On a badge: "Connect to...", then a click on another badge, then the line's type.
        pick = QStringLiteral("Connect to...");
        rightClickForMenu(view->viewport(), view->mapFromScene(QPointF(0, 0)));
        QCOMPARE(offered, QStringList({"Connect to...", "Remove from map"}));
        QVERIFY(widget.connecting());
        pick = QStringLiteral("Thin dotted line");
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->mapFromScene(QPointF(200, 250)));
        QVERIFY(!widget.connecting());
        QCOMPARE(offered, QStringList({"Thin line", "Thick line", "Thin dotted line", "Thick dotted line"}));
        QCOMPARE(m_map->connections().last(), VisualRepresentationItemConnection({"a", "c", 3}));
        QCOMPARE(lines(widget.scene()).size(), 2);

        // On a line: its type, and away with it.
        pick = QStringLiteral("Thick dotted line");
        rightClickForMenu(view->viewport(), view->mapFromScene(QPointF(250, 0)));
        QCOMPARE(offered, QStringList({"Line type", "Remove line"}));
        QCOMPARE(m_map->connections().first().type, 4);
        QCOMPARE(lines(widget.scene()).first()->pen().style(), Qt::DotLine);
        pick = QStringLiteral("Remove line");
        rightClickForMenu(view->viewport(), view->mapFromScene(QPointF(250, 0)));
        QCOMPARE(m_map->connections().size(), 1);
        QCOMPARE(lines(widget.scene()).size(), 1);

        // "Remove from map" takes the badge and its lines.
        pick = QStringLiteral("Remove from map");
        rightClickForMenu(view->viewport(), view->mapFromScene(QPointF(200, 250)));
        QVERIFY(!m_map->item(QStringLiteral("c")));
        QVERIFY(m_map->connections().isEmpty());
        QCOMPARE(badges(widget.scene()).size(), 2);
        QVERIFY(lines(widget.scene()).isEmpty());
    }

    // Placed badges stay; new ones never overlap, and are laid out by their lines so that no
    // line crosses a badge it does not end at. A group joined to nothing placed grows from the
    // first hop, or else from its most connected device.
    void placeAllLaysOutByTheLines_data()
    {
        QTest::addColumn<QString>("links");
        QTest::addColumn<QString>("placed");
        QTest::addColumn<QString>("firstHop");
        QTest::addColumn<QString>("root");
        QString star = QStringLiteral("gw-sw");
        for (int i = 0; i < 30; ++i)
            star += QStringLiteral(" sw-d%1").arg(i);
        QTest::newRow("30 behind a switch, from the first hop") << star << ""
                                                                << "gw"
                                                                << "gw";
        QTest::newRow("30 behind a switch, from the most connected") << star << ""
                                                                     << ""
                                                                     << "sw";
        QTest::newRow("switches in a chain") << "gw-s1 s1-s2 s2-s3 s1-a s1-b s2-c s2-d s3-e s3-f s3-g gw-h"
                                             << ""
                                             << "gw"
                                             << "gw";
        QTest::newRow("beside placed devices") << "r-p1 r-p2 p1-x far-cam"
                                               << "r:0:0 pc:200:0 far:2000:2000"
                                               << ""
                                               << "";
    }

    void placeAllLaysOutByTheLines()
    {
        QFETCH(QString, links);
        QFETCH(QString, placed);
        QFETCH(QString, firstHop);
        QFETCH(QString, root);
        QList<VisualRepresentationItemConnection> connections;
        QStringList wanted;
        for (const QString& link : links.split(QLatin1Char(' '))) {
            const QStringList ends = link.split(QLatin1Char('-'));
            connections << VisualRepresentationItemConnection{ends[0], ends[1], 1};
            for (const QString& end : ends) {
                if (!wanted.contains(end))
                    wanted << end;
            }
        }
        wanted << QStringLiteral("lonely");
        QList<VisualRepresentationItem> before;
        for (const QString& item : placed.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QStringList parts = item.split(QLatin1Char(':'));
            before << VisualRepresentationItem{parts[0], parts[1].toInt(), parts[2].toInt()};
        }
        const QList<VisualRepresentationItem> added = MapLayout::placeNew(before, connections, wanted, firstHop);
        QStringList unplaced = wanted;
        for (const VisualRepresentationItem& item : std::as_const(before))
            unplaced.removeAll(item.ip);
        QCOMPARE(added.size(), unplaced.size());
        QHash<QString, QPointF> at;
        for (const VisualRepresentationItem& item : before + added) {
            QVERIFY2(!at.contains(item.ip), qPrintable(item.ip));
            at.insert(item.ip, QPointF(item.x, item.y));
        }
        for (const VisualRepresentationItem& item : before)
            QVERIFY(!added.contains(item));
        for (auto a = at.cbegin(); a != at.cend(); ++a) {
            for (auto b = std::next(a); b != at.cend(); ++b) {
                QVERIFY2(std::abs(a->x() - b->x()) >= MapLayout::Spacing
                             || std::abs(a->y() - b->y()) >= MapLayout::Spacing,
                         qPrintable(a.key() + QLatin1Char('/') + b.key()));
            }
        }
        // A line passing a badge's centre closer than its disc's radius crosses it.
        for (const VisualRepresentationItemConnection& line : std::as_const(connections)) {
            const QLineF segment(at.value(line.ip1), at.value(line.ip2));
            for (auto badge = at.cbegin(); badge != at.cend(); ++badge) {
                if (badge.key() == line.ip1 || badge.key() == line.ip2)
                    continue;
                const QPointF d = segment.p2() - segment.p1();
                const qreal t = std::clamp(QPointF::dotProduct(*badge - segment.p1(), d) / QPointF::dotProduct(d, d),
                                           0.0, 1.0);
                const QPointF nearest = segment.p1() + t * d;
                QVERIFY2(QLineF(nearest, *badge).length() > 65,
                         qPrintable(QStringLiteral("%1-%2 crosses %3").arg(line.ip1, line.ip2, badge.key())));
            }
        }
        if (!root.isEmpty()) {
            // The devices that hang from the root stand round it on one ring.
            QList<int> distances;
            for (const VisualRepresentationItemConnection& line : std::as_const(connections)) {
                if (line.ip1 == root)
                    distances << qRound(QLineF(at.value(root), at.value(line.ip2)).length());
            }
            QVERIFY(!distances.isEmpty());
            const auto [nearest, farthest] = std::minmax_element(distances.cbegin(), distances.cend());
            QVERIFY2(*farthest - *nearest <= 2, qPrintable(QStringLiteral("%1 to %2").arg(*nearest).arg(*farthest)));
        } else {
            // Next to the placed device each hangs from, below the placed ones.
            QVERIFY(at.value(QStringLiteral("p1")).y() > 0 && at.value(QStringLiteral("p1")).y() < 2000);
            QVERIFY(std::abs(at.value(QStringLiteral("cam")).x() - 2000) <= MapLayout::ColumnWidth);
            QCOMPARE(at.value(QStringLiteral("cam")).y(), qreal(2000 + MapLayout::RowHeight));
        }
        // Devices without lines go below everything.
        for (const QPointF& place : std::as_const(at))
            QVERIFY(at.value(QStringLiteral("lonely")).y() >= place.y());
    }

    // "Place all devices" chooses anew, by the lines drawn since, the places it chose before;
    // places the user set stay, and a badge the user moves keeps its new place.
    void placeAllAgainFollowsNewLines()
    {
        for (const char* ip : {"c", "d", "e"})
            m_data->addEntry(DeviceEntry(QString::fromLatin1(ip), QString(), DeviceTypePC, false, NoReplyResult));
        m_map->appendItem({QStringLiteral("a"), 0, 0});
        m_map->appendItem({QStringLiteral("b"), 3000, 3000});
        // A line the file holds to a device not yet placed appears with its badge.
        m_map->appendConnection({QStringLiteral("b"), QStringLiteral("d"), 1});
        VisualRepresentationWidget widget;
        widget.setMenuRunner([](QMenu* menu, const QPoint&) {
            for (QAction* action : menu->actions()) {
                if (action->text() == QLatin1String("Place all devices") && action->isEnabled())
                    action->trigger();
            }
        });
        const QPoint ground = widget.view()->mapFromScene(QPointF(-500, -500));
        widget.openContextMenu(ground);
        // Without lines they go into rows below the map; lines drawn to "a" bring them to it.
        QCOMPARE(m_map->items().size(), 5);
        QVERIFY(m_map->item(QStringLiteral("c"))->y > 3000);
        QCOMPARE(lines(widget.scene()).size(), 1);
        for (const char* ip : {"c", "d", "e"})
            m_map->addConnection({QStringLiteral("a"), QString::fromLatin1(ip), 1});
        QCOMPARE(lines(widget.scene()).size(), 4);
        m_map->moveItem(QStringLiteral("e"), 5000, 5000);
        widget.openContextMenu(ground);
        QCOMPARE(*m_map->item(QStringLiteral("a")), VisualRepresentationItem({QStringLiteral("a"), 0, 0}));
        QCOMPARE(*m_map->item(QStringLiteral("b")), VisualRepresentationItem({QStringLiteral("b"), 3000, 3000}));
        QCOMPARE(*m_map->item(QStringLiteral("e")), VisualRepresentationItem({QStringLiteral("e"), 5000, 5000}));
        for (const char* ip : {"c", "d"}) {
            const VisualRepresentationItem placed = *m_map->item(QString::fromLatin1(ip));
            QVERIFY(placed.laidOut);
            QCOMPARE(placed.y, MapLayout::RowHeight);
            QVERIFY(std::abs(placed.x) <= MapLayout::ColumnWidth);
            QCOMPARE(widget.badge(placed.ip)->pos(), QPointF(placed.x, placed.y));
        }
        // Moved badges stay within the scene, so that "Fit to window" and the scroll bars reach them.
        QTRY_VERIFY(widget.scene()->sceneRect().contains(widget.scene()->itemsBoundingRect()));
    }

    // A line drawn with the mouse from the first hop, "Place all devices" and "Fit to window":
    // every badge stays where the map keeps it.
    void placeAllAndFitKeepEachBadgeAtItsPlace()
    {
        Settings::instance().firstHop = QStringLiteral("a");
        const auto restore = qScopeGuard([] { Settings::instance().firstHop.clear(); });
        VisualRepresentationWidget widget;
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));
        QString pick;
        widget.setMenuRunner([&pick](QMenu* menu, const QPoint& at) { QVERIFY(chooseInMenu(menu, at, pick)); });
        QWidget* viewport = widget.view()->viewport();
        const auto place = [this](const char* ip) { return QPointF(m_map->item(ip)->x, m_map->item(ip)->y); };
        // A click that opens a menu as the window system delivers it: the press, then the menu,
        // which takes the release.
        const auto clickForMenu = [&](const QPointF& at, const QString& choice, Qt::MouseButton button) {
            pick = choice;
            const QPoint point = widget.view()->mapFromScene(at);
            QMouseEvent press(QEvent::MouseButtonPress, point, viewport->mapToGlobal(point), button, button, {});
            QCoreApplication::sendEvent(viewport, &press);
            if (button == Qt::RightButton)
                rightClickForMenu(viewport, point);
        };
        const QPointF ground = widget.view()->mapToScene(QPoint(3, 3));
        clickForMenu(ground, QStringLiteral("Place all devices"), Qt::RightButton);
        clickForMenu(place("a"), QStringLiteral("Connect to..."), Qt::RightButton);
        clickForMenu(place("b"), QStringLiteral("Thin line"), Qt::LeftButton);
        clickForMenu(ground, QStringLiteral("Place all devices"), Qt::RightButton);
        clickForMenu(ground, QStringLiteral("Fit to window"), Qt::RightButton);
        for (const char* ip : {"a", "b"})
            QCOMPARE(widget.badge(ip)->pos(), place(ip));
    }

    void badgesSayWhatTheListSays_data()
    {
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("behind");
        QTest::addColumn<bool>("slow");
        QTest::addColumn<QString>("said");
        QTest::newRow("not yet probed") << ""
                                        << "" << true << "not yet probed";
        QTest::newRow("connected") << "3"
                                   << "" << false << "connected";
        QTest::newRow("slow") << "3"
                              << "" << true << "connected, slow";
        QTest::newRow("disconnected") << "X"
                                      << "" << true << "disconnected";
        QTest::newRow("cut off") << "X"
                                 << "b" << false << "disconnected, unreachable behind b";
    }

    // A screen reader finds each badge among the map's children, where it is drawn, named by its
    // address and description, and hears its state in the device list's words as it changes.
    void badgesSayWhatTheListSays()
    {
        QFETCH(QString, result);
        QFETCH(QString, behind);
        QFETCH(bool, slow);
        QFETCH(QString, said);
        m_data->addEntry(
            DeviceEntry(QStringLiteral("c"), QStringLiteral("Printer"), DeviceTypePC, false, NoReplyResult));
        m_data->awaitFirstResults();
        m_map->appendItem({QStringLiteral("a"), -2000, 0});
        m_map->appendItem({QStringLiteral("c"), 0, 0});
        FixedReachability reachability;
        FixedSlowness slowness;
        VisualRepresentationWidget widget;
        widget.setReachability(&reachability);
        widget.setSlowView(&slowness);
        widget.resize(400, 300);
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));
        widget.showDevice(QStringLiteral("c"));
        if (!result.isEmpty())
            m_data->setPingResults({{QStringLiteral("c"), 0,
                                     result == QLatin1String("X") ? ProbeResult::timeout() : ProbeResult::reply(3ms)}});
        reachability.set({{QStringLiteral("c"), behind}});
        slowness.set(QStringLiteral("c"), slow);

        QAccessibleInterface* map = QAccessible::queryAccessibleInterface(&widget);
        QAccessibleInterface* badge = map->child(map->childCount() - 1);
        QVERIFY(badge);
        QCOMPARE(badge->text(QAccessible::Name), QStringLiteral("c Printer"));
        QCOMPARE(badge->text(QAccessible::Description), said);
        QCOMPARE(badge->parent(), map);
        QCOMPARE(map->indexOfChild(badge), map->childCount() - 1);
        QCOMPARE(map->childAt(badge->rect().center().x(), badge->rect().center().y()), badge);
        QVERIFY(!badge->state().offscreen);
        // The badge placed far to the left lies out of the view centred on the other.
        QVERIFY(map->child(map->childCount() - 2)->state().offscreen);
    }

    // The empty map's hint covers the viewport whatever size the window is given, so that its
    // centred text is in the middle of what shows.
    void emptyMapHintIsCentred()
    {
        VisualRepresentationWidget widget;
        widget.resize(300, 200);
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));
        auto* hint = widget.findChild<QLabel*>(QStringLiteral("emptyMapPlaceholder"));
        QVERIFY(hint && hint->isVisible());
        for (const QSize size : {QSize(300, 200), QSize(900, 700), QSize(400, 600)}) {
            widget.resize(size);
            QTRY_COMPARE(hint->geometry(), widget.view()->viewport()->rect());
        }
    }

    void zoomStaysWithinItsLimitsAndIsKept()
    {
        VisualRepresentationWidget widget;
        widget.setZoom(10);
        QCOMPARE(widget.zoom(), VisualRepresentationWidget::MaxZoom);
        widget.setZoom(0.01);
        QCOMPARE(widget.zoom(), VisualRepresentationWidget::MinZoom);
        QCOMPARE(Settings::instance().mapZoom, 20);
        QWheelEvent wheel(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::ControlModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(widget.view()->viewport(), &wheel);
        QCOMPARE(widget.zoom(), 0.25);
        QCOMPARE(widget.view()->transform().m11(), 0.25);
        VisualRepresentationWidget next;
        QCOMPARE(next.zoom(), 0.25);
        Settings::instance().mapZoom = 100;
    }

    // A device that leaves the list leaves the view with its lines, and comes back with them.
    void devicesLeavingTheListLeaveTheView()
    {
        m_map->appendItem({QStringLiteral("a"), 0, 0});
        m_map->appendItem({QStringLiteral("b"), 100, 0});
        m_map->appendConnection({QStringLiteral("a"), QStringLiteral("b"), 1});
        VisualRepresentationWidget widget;
        m_data->removeEntry(QStringLiteral("a"));
        QVERIFY(!widget.badge(QStringLiteral("a"))->isVisible());
        QVERIFY(!lines(widget.scene()).first()->isVisible());
        QVERIFY(m_map->item(QStringLiteral("a")));
        m_data->addEntry(DeviceEntry(QStringLiteral("a"), QStringLiteral("back"), DeviceTypePC, false, NoReplyResult));
        QVERIFY(widget.badge(QStringLiteral("a"))->isVisible());
        QCOMPARE(widget.badge(QStringLiteral("a"))->entry().description, QStringLiteral("back"));
        QVERIFY(lines(widget.scene()).first()->isVisible());
    }
};

QTEST_MAIN(TestMapView)
#include "tst_mapview.moc"
