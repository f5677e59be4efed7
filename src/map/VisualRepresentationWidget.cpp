// SPDX-License-Identifier: GPL-3.0-or-later
#include "VisualRepresentationWidget.h"

#include "DeviceEntryRepresentationGraphicsItem.h"
#include "MapAccessible.h"
#include "data/Data.h"
#include "data/DeviceAddedEvent.h"
#include "data/DeviceEntryChangedEvent.h"
#include "data/DevicePaths.h"
#include "data/DeviceRemovedEvent.h"
#include "data/MaintenanceView.h"
#include "data/MapLayout.h"
#include "data/ReachabilityView.h"
#include "data/Settings.h"
#include "data/SlowView.h"
#include "data/VisualRepresentationData.h"
#include "skin/MaintenanceMark.h"

#include <QAccessible>
#include <QGraphicsLineItem>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <utility>

namespace Tarnwick {

namespace {

// The pen of a line type from 1 to 4, in the colour of the view's text, so that lines show on a
// light map and a dark one alike; a plain pen for a type the file got wrong.
QPen linePen(int type, const QColor& colour)
{
    if (type < 1 || type > 4)
        return QPen(colour);
    const bool thick = type == 2 || type == 4;
    const bool dotted = type == 3 || type == 4;
    return QPen(QBrush(colour, Qt::SolidPattern), thick ? 2 : 1, dotted ? Qt::DotLine : Qt::SolidLine, Qt::SquareCap,
                Qt::BevelJoin);
}

const char* const LineTypeNames[] = {
    QT_TRANSLATE_NOOP("Tarnwick::VisualRepresentationWidget", "Thin line"),
    QT_TRANSLATE_NOOP("Tarnwick::VisualRepresentationWidget", "Thick line"),
    QT_TRANSLATE_NOOP("Tarnwick::VisualRepresentationWidget", "Thin dotted line"),
    QT_TRANSLATE_NOOP("Tarnwick::VisualRepresentationWidget", "Thick dotted line"),
};

// A short stretch of the line type, for its menu entry.
QIcon linePicture(int type, const QColor& colour)
{
    QPixmap picture(48, 16);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    QPen pen = linePen(type, colour);
    pen.setWidth(pen.width() + 1);
    painter.setPen(pen);
    painter.drawLine(2, 8, 46, 8);
    return QIcon(picture);
}

bool inList(const QString& ip)
{
    const Data* store = Data::instance();
    return store && store->contains(ip);
}

// Tells a screen reader that a badge came onto the map or goes from it.
void announce(DeviceEntryRepresentationGraphicsItem* badge, QAccessible::Event change)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent event(badge, change);
    QAccessible::updateAccessibility(&event);
}

} // namespace

VisualRepresentationWidget::VisualRepresentationWidget(QWidget* parent)
    : QWidget(parent)
    , m_scene(new QGraphicsScene)
    , m_view(new QGraphicsView(m_scene))
    , m_runMenu([](QMenu* menu, const QPoint& at) { menu->exec(at); })
    , m_chooseDevice([](QWidget* over, const QStringList& candidates) {
        bool ok = false;
        //: The title of the dialog that picks a device to place on the map
        const QString chosen = QInputDialog::getItem(over, tr("Add device"), tr("Device:"), candidates, 0, false, &ok);
        return ok ? chosen : QString();
    })
{
    // Before anything asks how a screen reader sees this map.
    MapAccessible::install();
    m_view->setObjectName(QStringLiteral("mapGraphicsView"));
    m_view->setDragMode(QGraphicsView::ScrollHandDrag);
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    m_viewport = m_view->viewport();
    m_viewport->installEventFilter(this);
    connect(m_view, &QWidget::customContextMenuRequested, this, &VisualRepresentationWidget::openContextMenu);
    m_highlightEnd.setSingleShot(true);
    m_highlightEnd.setInterval(HighlightMs);
    connect(&m_highlightEnd, &QTimer::timeout, this, [this] {
        if (m_highlighted)
            m_highlighted->setHighlighted(false);
    });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_view);

    // An empty map says how devices come onto it.
    auto* placeholder = new QLabel(
        //: The quoted words name an entry of the map's menu
        tr("The map is empty.\n\nRight-click here and choose \"Add device...\" to "
           "place a device of your list;\nright-click a device to join it to "
           "another with a line."),
        m_view->viewport());
    placeholder->setObjectName(QStringLiteral("emptyMapPlaceholder"));
    placeholder->setAlignment(Qt::AlignCenter);
    placeholder->setEnabled(false);
    placeholder->installEventFilter(this);
    m_placeholder = placeholder;

    VisualRepresentationData* map = VisualRepresentationData::instance();
    if (map) {
        // Lines under badges, each drawn over the ones before it, in the file's order.
        QList<DeviceEntryRepresentationGraphicsItem*> built;
        for (const VisualRepresentationItem& item : map->items())
            built << addBadge(item);
        m_nextZ = 0;
        for (const VisualRepresentationItemConnection& connection : map->connections()) {
            if (badge(connection.ip1) && badge(connection.ip2))
                addLine(connection, m_nextZ++);
        }
        for (DeviceEntryRepresentationGraphicsItem* placed : built)
            placed->setZValue(m_nextZ++);
        connect(map, &VisualRepresentationData::ItemAdded, this, [this, map](const VisualRepresentationItem& item) {
            addBadge(item);
            // Lines the file holds to a device not placed until now.
            for (const VisualRepresentationItemConnection& connection : map->connections()) {
                if ((connection.ip1 == item.ip || connection.ip2 == item.ip) && !hasLine(connection))
                    addLine(connection);
            }
            fitSceneToItems();
        });
        connect(map, &VisualRepresentationData::ItemRemoved, this, &VisualRepresentationWidget::removeBadge);
        connect(map, &VisualRepresentationData::ItemChanged, this, [this](const VisualRepresentationItem& item) {
            if (DeviceEntryRepresentationGraphicsItem* moved = badge(item.ip)) {
                moved->setPos(item.x, item.y);
                PositionChanged(moved);
                fitSceneSoon();
            }
        });
        connect(map, &VisualRepresentationData::ItemConnectionAdded, this,
                [this](const VisualRepresentationItemConnection& connection) { addLine(connection); });
        connect(map, &VisualRepresentationData::ItemConnectionRemoved, this, &VisualRepresentationWidget::removeLine);
        // A line drawn takes the place of the learnt one; a badge placed or taken away, its own.
        for (const auto changed :
             {&VisualRepresentationData::ItemConnectionAdded, &VisualRepresentationData::ItemConnectionRemoved})
            connect(map, changed, this, &VisualRepresentationWidget::showLearntPaths);
        for (const auto changed : {&VisualRepresentationData::ItemAdded, &VisualRepresentationData::ItemRemoved})
            connect(map, changed, this, &VisualRepresentationWidget::showLearntPaths);
        connect(map, &VisualRepresentationData::ItemConnectionChanged, this, &VisualRepresentationWidget::restyleLine);
    }
    if (Data* store = Data::instance()) {
        // Devices that leave the list leave the view; their places and lines wait for them.
        // A change goes to the badges of its address alone: a result costs the same however
        // many devices are placed. Badges follow every change from the entry they were made
        // with, so one that shows the entry as before leaves each of them as it is, and is
        // judged on the event alone, whose entries were just made.
        store->connectReceiver(
            this,
            {.changed =
                 [this](DeviceEntryChangedEvent* pEvent) {
                     if (DeviceEntryRepresentationGraphicsItem::showsAlike(pEvent->oldEntry(), pEvent->newEntry()))
                         return;
                     const auto it = m_badgesByAddress.constFind(pEvent->newEntry().ip);
                     if (it == m_badgesByAddress.cend())
                         return;
                     for (DeviceEntryRepresentationGraphicsItem* placed : *it)
                         placed->DeviceEntryChanged(pEvent);
                 },
             .added = [this](DeviceAddedEvent* pEvent) { followTheList(pEvent->entry().ip); },
             .removed = [this](DeviceRemovedEvent* pEvent) { followTheList(pEvent->entry().ip); }});
    }
    fitSceneToItems();
    updatePlaceholder();

    auto* zoomIn = new QShortcut(QKeySequence::ZoomIn, this, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(zoomIn, &QShortcut::activated, this, [this] { setZoom(m_zoom * 1.25); });
    auto* zoomOut = new QShortcut(QKeySequence::ZoomOut, this, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(zoomOut, &QShortcut::activated, this, [this] { setZoom(m_zoom / 1.25); });
    setZoom(Settings::instance().mapZoom / 100.0);
}

VisualRepresentationWidget::~VisualRepresentationWidget()
{
    // The viewport tells its filter of its own end while the view is half gone; stop listening
    // first. The view goes with this widget; the scene, which has no parent, goes with it.
    m_viewport->removeEventFilter(this);
    delete m_view;
    delete m_scene;
}

void VisualRepresentationWidget::setMenuRunner(MenuRunner runner)
{
    m_runMenu = std::move(runner);
}

void VisualRepresentationWidget::setDeviceChooser(DeviceChooser chooser)
{
    m_chooseDevice = std::move(chooser);
}

DeviceEntryRepresentationGraphicsItem* VisualRepresentationWidget::badge(const QString& ip) const
{
    const auto it = m_badgesByAddress.constFind(ip);
    return it == m_badgesByAddress.cend() ? nullptr : it->first();
}

void VisualRepresentationWidget::setPaths(const DevicePaths* paths)
{
    m_paths = paths;
    if (m_paths)
        connect(m_paths, &DevicePaths::pathsChanged, this, &VisualRepresentationWidget::showLearntPaths);
    showLearntPaths();
}

QList<VisualRepresentationItemConnection> VisualRepresentationWidget::learntConnections() const
{
    QList<VisualRepresentationItemConnection> learnt;
    const Data* store = Data::instance();
    const VisualRepresentationData* map = VisualRepresentationData::instance();
    if (!m_paths || !store || !map)
        return learnt;
    QSet<QString> drawn;
    for (const VisualRepresentationItemConnection& connection : map->connections())
        drawn << connection.ip1 << connection.ip2;
    const auto listed = [store](const QString& ip) { return store->contains(ip); };
    for (auto it = m_paths->all().cbegin(); it != m_paths->all().cend(); ++it) {
        if (drawn.contains(it.key()) || !store->contains(it.key()))
            continue;
        if (const QString parent = m_paths->learntParent(it.key(), listed); !parent.isEmpty())
            learnt.append({parent, it.key(), 3});
    }
    return learnt;
}

void VisualRepresentationWidget::showLearntPaths()
{
    for (const Line& line : std::as_const(m_learntLines))
        delete line.item;
    m_learntLines.clear();
    if (!Settings::instance().showLearntPaths)
        return;
    // Fainter than the lines drawn, and under them.
    QColor faint = lineColour();
    faint.setAlphaF(0.6f);
    for (const VisualRepresentationItemConnection& connection : learntConnections()) {
        const DeviceEntryRepresentationGraphicsItem* from = badge(connection.ip1);
        const DeviceEntryRepresentationGraphicsItem* to = badge(connection.ip2);
        if (!from || !to || !from->isVisible() || !to->isVisible())
            continue;
        QGraphicsLineItem* line = m_scene->addLine(QLineF(from->pos(), to->pos()), QPen(faint, 1, Qt::DotLine));
        line->setZValue(-2);
        m_learntLines.append({connection.ip1, connection.ip2, line});
    }
}

QList<QPair<QString, QString>> VisualRepresentationWidget::learntLinesShown() const
{
    QList<QPair<QString, QString>> shown;
    for (const Line& line : m_learntLines)
        shown.append({line.ip1, line.ip2});
    return shown;
}

void VisualRepresentationWidget::setReachability(const ReachabilityView* reachability)
{
    if (m_reachability)
        disconnect(m_reachability, nullptr, this, nullptr);
    m_reachability = reachability;
    if (m_reachability)
        connect(m_reachability, &ReachabilityView::reachabilityChanged, this, &VisualRepresentationWidget::showCutOffs);
    showCutOffs();
}

void VisualRepresentationWidget::showCutOffs()
{
    for (DeviceEntryRepresentationGraphicsItem* placed : std::as_const(m_badges))
        placed->setCutOffBehind(m_reachability ? m_reachability->behindShown(placed->ip()) : QString());
}

void VisualRepresentationWidget::setSlowView(const SlowView* slow)
{
    if (m_slow)
        disconnect(m_slow, nullptr, this, nullptr);
    m_slow = slow;
    if (m_slow) {
        connect(m_slow, &SlowView::slownessChanged, this, [this](const QString& ip) {
            for (DeviceEntryRepresentationGraphicsItem* placed : m_badgesByAddress.value(ip))
                placed->setSlow(m_slow->isSlow(ip));
        });
    }
    for (DeviceEntryRepresentationGraphicsItem* placed : std::as_const(m_badges))
        placed->setSlow(m_slow && m_slow->isSlow(placed->ip()));
}

void VisualRepresentationWidget::setMaintenanceView(const MaintenanceView* maintenance)
{
    if (m_maintenance)
        disconnect(m_maintenance, nullptr, this, nullptr);
    m_maintenance = maintenance;
    if (m_maintenance) {
        connect(m_maintenance, &MaintenanceView::changed, this, [this] {
            for (DeviceEntryRepresentationGraphicsItem* placed : std::as_const(m_badges))
                showMaintenance(placed);
        });
    }
    for (DeviceEntryRepresentationGraphicsItem* placed : std::as_const(m_badges))
        showMaintenance(placed);
}

void VisualRepresentationWidget::showMaintenance(DeviceEntryRepresentationGraphicsItem* badge)
{
    badge->setMaintenance(m_maintenance ? MaintenanceMark::toolTip(m_maintenance->maintenanceEnds(badge->ip()),
                                                                   QDateTime::currentDateTimeUtc())
                                        : QString());
}

DeviceEntryRepresentationGraphicsItem* VisualRepresentationWidget::addBadge(const VisualRepresentationItem& item)
{
    auto* badge = new DeviceEntryRepresentationGraphicsItem(item.ip);
    if (m_reachability)
        badge->setCutOffBehind(m_reachability->behindShown(item.ip));
    if (m_slow)
        badge->setSlow(m_slow->isSlow(item.ip));
    showMaintenance(badge);
    badge->setPos(item.x, item.y);
    badge->setZValue(m_nextZ++);
    connect(badge, &DeviceEntryRepresentationGraphicsItem::PositionChanged, this,
            &VisualRepresentationWidget::PositionChanged);
    connect(badge, &DeviceEntryRepresentationGraphicsItem::dragFinished, this,
            &VisualRepresentationWidget::badgePutDown);
    m_scene->addItem(badge);
    m_badges.append(badge);
    m_badgesByAddress[item.ip].append(badge);
    announce(badge, QAccessible::ObjectCreated);
    updatePlaceholder();
    return badge;
}

void VisualRepresentationWidget::removeBadge(const VisualRepresentationItem& item)
{
    DeviceEntryRepresentationGraphicsItem* removed = badge(item.ip);
    if (!removed)
        return;
    announce(removed, QAccessible::ObjectDestroyed);
    QList<DeviceEntryRepresentationGraphicsItem*>& sameAddress = m_badgesByAddress[item.ip];
    sameAddress.removeFirst();
    if (sameAddress.isEmpty())
        m_badgesByAddress.remove(item.ip);
    m_badges.removeOne(removed);
    delete removed;
    updatePlaceholder();
}

void VisualRepresentationWidget::addLine(const VisualRepresentationItemConnection& connection, qreal z)
{
    const DeviceEntryRepresentationGraphicsItem* from = badge(connection.ip1);
    const DeviceEntryRepresentationGraphicsItem* to = badge(connection.ip2);
    if (!from || !to)
        return;
    QGraphicsLineItem* line = m_scene->addLine(QLineF(from->pos(), to->pos()));
    line->setPen(linePen(connection.type, lineColour()));
    line->setZValue(z);
    line->setVisible(from->isVisible() && to->isVisible());
    m_lines.append({connection.ip1, connection.ip2, line});
}

bool VisualRepresentationWidget::hasLine(const VisualRepresentationItemConnection& connection) const
{
    return std::any_of(m_lines.cbegin(), m_lines.cend(),
                       [&](const Line& line) { return line.ip1 == connection.ip1 && line.ip2 == connection.ip2; });
}

void VisualRepresentationWidget::removeLine(const VisualRepresentationItemConnection& connection)
{
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].ip1 == connection.ip1 && m_lines[i].ip2 == connection.ip2) {
            delete m_lines.takeAt(i).item;
            return;
        }
    }
}

QColor VisualRepresentationWidget::lineColour() const
{
    return m_view->palette().color(QPalette::Text);
}

void VisualRepresentationWidget::restyleLine(const VisualRepresentationItemConnection& connection)
{
    for (const Line& line : std::as_const(m_lines)) {
        if (line.ip1 == connection.ip1 && line.ip2 == connection.ip2)
            line.item->setPen(linePen(connection.type, lineColour()));
    }
}

VisualRepresentationWidget::Line* VisualRepresentationWidget::lineAt(const QPointF& scenePosition)
{
    // A few pixels either side of a line hit it.
    const QRectF near(scenePosition - QPointF(4, 4), QSizeF(8, 8));
    for (QGraphicsItem* item : m_scene->items(near)) {
        for (Line& line : m_lines) {
            if (line.item == item)
                return &line;
        }
    }
    return nullptr;
}

void VisualRepresentationWidget::followTheList(const QString& ip)
{
    // Only what stands for that address can change: with thousands of devices removed at once,
    // each removal looks at its own badges and lines, not at every one placed.
    if (const auto placed = m_badgesByAddress.constFind(ip); placed != m_badgesByAddress.cend()) {
        const bool listed = inList(ip);
        for (DeviceEntryRepresentationGraphicsItem* badge : *placed) {
            // Badges of addresses the list never had stay, greyed; one whose device left goes.
            if (listed) {
                badge->setVisible(true);
                badge->refreshEntry();
            } else if (!badge->entry().ip.isEmpty()) {
                badge->setVisible(false);
                badge->refreshEntry();
            }
        }
    }
    for (const Line& line : std::as_const(m_lines)) {
        if (line.ip1 != ip && line.ip2 != ip)
            continue;
        const auto* from = badge(line.ip1);
        const auto* to = badge(line.ip2);
        line.item->setVisible(from && to && from->isVisible() && to->isVisible());
    }
    showLearntPathsSoon();
}

void VisualRepresentationWidget::showLearntPathsSoon()
{
    onceSoon(m_learntPending, &VisualRepresentationWidget::showLearntPaths);
}

void VisualRepresentationWidget::onceSoon(bool& pending, void (VisualRepresentationWidget::*work)())
{
    if (std::exchange(pending, true))
        return;
    QTimer::singleShot(0, this, [this, &pending, work] {
        pending = false;
        (this->*work)();
    });
}

void VisualRepresentationWidget::PositionChanged(DeviceEntryRepresentationGraphicsItem* pItem)
{
    for (const QList<Line>* lines : {&m_lines, &m_learntLines}) {
        for (const Line& line : *lines) {
            const auto* from = badge(line.ip1);
            const auto* to = badge(line.ip2);
            if ((from == pItem || to == pItem) && from && to)
                line.item->setLine(QLineF(from->pos(), to->pos()));
        }
    }
}

void VisualRepresentationWidget::badgePutDown(DeviceEntryRepresentationGraphicsItem* badge)
{
    // Places are whole numbers in the file.
    badge->setPos(QPointF(qRound(badge->pos().x()), qRound(badge->pos().y())));
    PositionChanged(badge);
    if (VisualRepresentationData* map = VisualRepresentationData::instance())
        map->moveItem(badge->ip(), int(badge->pos().x()), int(badge->pos().y()));
    fitSceneToItems();
}

void VisualRepresentationWidget::openContextMenu(const QPoint& viewPosition)
{
    VisualRepresentationData* map = VisualRepresentationData::instance();
    if (!map)
        return;
    const QPointF scenePosition = m_view->mapToScene(viewPosition);
    QMenu menu;
    DeviceEntryRepresentationGraphicsItem* clicked = nullptr;
    for (QGraphicsItem* item : m_view->items(viewPosition)) {
        if ((clicked = dynamic_cast<DeviceEntryRepresentationGraphicsItem*>(item)))
            break;
    }
    if (clicked) {
        const QString ip = clicked->ip();
        connect(menu.addAction(tr("Connect to...")), &QAction::triggered, this, [this, ip] { beginConnecting(ip); });
        connect(menu.addAction(tr("Remove from map")), &QAction::triggered, this, [map, ip] { map->removeItem(ip); });
    } else if (const Line* line = lineAt(scenePosition)) {
        const QString ip1 = line->ip1;
        const QString ip2 = line->ip2;
        QMenu* types = menu.addMenu(tr("Line type"));
        for (int type = 1; type <= 4; ++type) {
            connect(types->addAction(linePicture(type, lineColour()), tr(LineTypeNames[type - 1])), &QAction::triggered,
                    this, [map, ip1, ip2, type] { map->setConnectionType(ip1, ip2, type); });
        }
        connect(menu.addAction(tr("Remove line")), &QAction::triggered, this,
                [map, ip1, ip2] { map->removeConnection(ip1, ip2); });
    } else {
        QStringList candidates;
        if (const Data* store = Data::instance()) {
            for (const DeviceEntry& entry : store->entries()) {
                if (!map->item(entry.ip) && !candidates.contains(entry.ip))
                    candidates << entry.ip;
            }
        }
        QAction* add = menu.addAction(tr("Add device..."));
        add->setEnabled(!candidates.isEmpty());
        connect(add, &QAction::triggered, this, [this, map, candidates, scenePosition] {
            const QString chosen = m_chooseDevice(this, candidates);
            if (!chosen.isEmpty())
                map->addItem({chosen, qRound(scenePosition.x()), qRound(scenePosition.y())});
        });
        // Places the layout chose are chosen anew, by the lines drawn since; the user's stay.
        QList<VisualRepresentationItem> kept;
        QStringList toPlace;
        for (const VisualRepresentationItem& item : map->items()) {
            if (item.laidOut)
                toPlace << item.ip;
            else
                kept << item;
        }
        toPlace << candidates;
        // The parents learnt from the paths lay out as lines drawn do.
        const QList<VisualRepresentationItemConnection> links = map->connections() + learntConnections();
        QAction* placeAll = menu.addAction(tr("Place all devices"));
        placeAll->setEnabled(!candidates.isEmpty() || (!links.isEmpty() && toPlace.size() > candidates.size()));
        // Without a first hop, the trees grow from the device the learnt paths start at.
        QString root = Settings::instance().firstHop;
        if (root.isEmpty()) {
            QSet<QString> children;
            for (const VisualRepresentationItemConnection& link : links)
                children << link.ip2;
            for (const VisualRepresentationItemConnection& link : learntConnections())
                if (root.isEmpty() && !children.contains(link.ip1))
                    root = link.ip1;
        }
        connect(placeAll, &QAction::triggered, this, [map, kept, toPlace, links, root] {
            for (VisualRepresentationItem item : MapLayout::placeNew(kept, links, toPlace, root)) {
                if (map->item(item.ip)) {
                    map->moveItem(item.ip, item.x, item.y, true);
                } else {
                    item.laidOut = true;
                    map->addItem(item);
                }
            }
        });
        connect(menu.addAction(tr("Fit to window")), &QAction::triggered, this,
                &VisualRepresentationWidget::fitToWindow);
        if (m_paths) {
            QAction* learnt = menu.addAction(tr("Show learnt paths"));
            learnt->setObjectName(QStringLiteral("showLearntPathsAction"));
            learnt->setCheckable(true);
            learnt->setChecked(Settings::instance().showLearntPaths);
            //: The dotted lines of the map: each device hangs from the nearest listed device on its path
            learnt->setToolTip(tr("Dotted lines from each device without a line of its own to the nearest "
                                  "device of the list on its path"));
            connect(learnt, &QAction::toggled, this, [this](bool on) {
                Settings::instance().showLearntPaths = on;
                showLearntPaths();
            });
        }
    }
    runMenu(&menu, m_view->viewport()->mapToGlobal(viewPosition));
}

void VisualRepresentationWidget::beginConnecting(const QString& fromIp)
{
    m_connectFrom = fromIp;
    m_view->viewport()->setCursor(Qt::CrossCursor);
}

void VisualRepresentationWidget::finishConnecting(const QString& toIp, const QPoint& globalPosition)
{
    const QString from = std::exchange(m_connectFrom, QString());
    m_view->viewport()->unsetCursor();
    VisualRepresentationData* map = VisualRepresentationData::instance();
    if (!map || toIp.isEmpty() || toIp == from)
        return;
    QMenu types;
    for (int type = 1; type <= 4; ++type) {
        connect(types.addAction(linePicture(type, lineColour()), tr(LineTypeNames[type - 1])), &QAction::triggered,
                this, [map, from, toIp, type] {
                    map->addConnection({from, toIp, type});
                });
    }
    runMenu(&types, globalPosition);
}

void VisualRepresentationWidget::runMenu(QMenu* menu, const QPoint& globalPosition)
{
    if (QGraphicsItem* grabber = m_scene->mouseGrabberItem())
        grabber->ungrabMouse();
    m_runMenu(menu, globalPosition);
}

bool VisualRepresentationWidget::eventFilter(QObject* watched, QEvent* event)
{
    // The view scrolls the viewport's children along with the scene as it centres it: the hint
    // stays where it covers the viewport, so that its text is in the middle of what shows.
    if (watched == m_placeholder && event->type() == QEvent::Move && m_placeholder->pos() != QPoint())
        m_placeholder->move(0, 0);
    if (watched != m_viewport)
        return QWidget::eventFilter(watched, event);
    // The viewport is laid out after this widget has its size, and its scroll bars come and go:
    // the hint follows the viewport's own size.
    if (event->type() == QEvent::Resize)
        m_placeholder->resize(static_cast<QResizeEvent*>(event)->size());
    // The program changed between its light and dark looks.
    if (event->type() == QEvent::PaletteChange) {
        for (const Line& line : std::as_const(m_lines)) {
            QPen pen = line.item->pen();
            pen.setColor(lineColour());
            line.item->setPen(pen);
        }
    }
    if (event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            const int steps = wheel->angleDelta().y();
            if (steps != 0)
                setZoom(steps > 0 ? m_zoom * 1.25 : m_zoom / 1.25);
            return true;
        }
    }
    if (event->type() == QEvent::MouseButtonPress && connecting()) {
        auto* press = static_cast<QMouseEvent*>(event);
        QString target;
        for (QGraphicsItem* item : m_view->items(press->position().toPoint())) {
            if (auto* hit = dynamic_cast<DeviceEntryRepresentationGraphicsItem*>(item)) {
                target = hit->ip();
                break;
            }
        }
        finishConnecting(target, press->globalPosition().toPoint());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void VisualRepresentationWidget::setZoom(double zoom)
{
    m_zoom = std::clamp(zoom, MinZoom, MaxZoom);
    m_view->setTransform(QTransform::fromScale(m_zoom, m_zoom));
    Settings::instance().set(&Settings::mapZoom, qRound(m_zoom * 100));
}

void VisualRepresentationWidget::fitToWindow()
{
    m_view->fitInView(m_scene->itemsBoundingRect().adjusted(-20, -20, 20, 20), Qt::KeepAspectRatio);
    setZoom(m_view->transform().m11());
}

void VisualRepresentationWidget::showDevice(const QString& ip)
{
    DeviceEntryRepresentationGraphicsItem* shown = badge(ip);
    if (!shown || !shown->isVisible())
        return;
    m_view->centerOn(shown);
    // Among many badges the one asked for is found at a glance.
    m_scene->clearSelection();
    shown->setSelected(true);
    if (m_highlighted)
        m_highlighted->setHighlighted(false);
    m_highlighted = shown;
    shown->setHighlighted(true);
    m_highlightEnd.start();
}

void VisualRepresentationWidget::fitSceneSoon()
{
    // "Place all devices" moves every badge in one go: the scene is fitted once, after them all.
    onceSoon(m_fitPending, &VisualRepresentationWidget::fitSceneToItems);
}

void VisualRepresentationWidget::fitSceneToItems()
{
    // What is in view stays in the scene, so that a badge dropped near an edge grows the scene
    // without moving what the user looks at.
    QRectF rect = m_scene->itemsBoundingRect().adjusted(-100, -100, 100, 100);
    if (m_view->isVisible()) {
        const QPointF centre = m_view->mapToScene(m_view->viewport()->rect().center());
        rect |= m_view->mapToScene(m_view->viewport()->rect()).boundingRect();
        m_scene->setSceneRect(rect);
        m_view->centerOn(centre);
        return;
    }
    m_scene->setSceneRect(rect);
}

void VisualRepresentationWidget::updatePlaceholder()
{
    if (m_placeholder)
        m_placeholder->setVisible(m_badges.isEmpty());
}

} // namespace Tarnwick
