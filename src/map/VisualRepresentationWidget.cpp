#include "VisualRepresentationWidget.h"

#include "DeviceEntryRepresentationGraphicsItem.h"
#include "VisualRepresentationData.h"
#include "data/Data.h"

#include <QGraphicsLineItem>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QLabel>
#include <QVBoxLayout>

#include <optional>

namespace Tarnwick {

namespace {

std::optional<QPointF> placeOf(const QList<VisualRepresentationItem>& items, const QString& ip)
{
    for (const VisualRepresentationItem& item : items) {
        if (item.ip == ip)
            return QPointF(item.x, item.y);
    }
    return std::nullopt;
}

QPen linePen(int type)
{
    const bool thick = type == 2 || type == 4;
    const bool dotted = type == 3 || type == 4;
    return QPen(QBrush(QColor(0, 0, 0, 255), Qt::SolidPattern), thick ? 2 : 1, dotted ? Qt::DotLine : Qt::SolidLine,
                Qt::SquareCap, Qt::BevelJoin);
}

} // namespace

VisualRepresentationWidget::VisualRepresentationWidget(QWidget* parent)
    : QWidget(parent)
    , m_scene(new QGraphicsScene)
    , m_view(new QGraphicsView(m_scene))
{
    m_view->setObjectName(QStringLiteral("mapGraphicsView"));
    m_view->setDragMode(QGraphicsView::ScrollHandDrag);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_view);

    VisualRepresentationData* map = VisualRepresentationData::instance();
    const QList<VisualRepresentationItem> items = map ? map->items() : QList<VisualRepresentationItem>();
    const QList<VisualRepresentationItemConnection> connections = map ? map->connections()
                                                                      : QList<VisualRepresentationItemConnection>();
    int z = 0;
    for (const VisualRepresentationItemConnection& connection : connections) {
        const auto from = placeOf(items, connection.ip1);
        const auto to = placeOf(items, connection.ip2);
        if (!from || !to)
            continue;
        QGraphicsLineItem* line = m_scene->addLine(QLineF(*from, *to));
        if (connection.type >= 1 && connection.type <= 4)
            line->setPen(linePen(connection.type));
        line->setZValue(z++);
        m_lines.append({connection.ip1, connection.ip2, line});
    }

    Data* store = Data::instance();
    for (const VisualRepresentationItem& item : items) {
        auto* badge = new DeviceEntryRepresentationGraphicsItem(item.ip);
        badge->setPos(item.x, item.y);
        badge->setZValue(z++);
        if (store)
            connect(store, &Data::DeviceEntryChanged, badge,
                    &DeviceEntryRepresentationGraphicsItem::DeviceEntryChanged);
        connect(badge, &DeviceEntryRepresentationGraphicsItem::PositionChanged, this,
                &VisualRepresentationWidget::PositionChanged);
        connect(badge, &DeviceEntryRepresentationGraphicsItem::dragFinished, this,
                &VisualRepresentationWidget::badgePutDown);
        m_scene->addItem(badge);
        m_badges.insert(item.ip, badge);
    }
    fitSceneToItems();

    // An empty map says how devices come onto it.
    auto* placeholder = new QLabel(
        QStringLiteral("The map is empty.\n\nDevices are placed on it, and joined by lines, in the file "
                       "\"VisualRepresentation.xml\"\nbeside the device list; the folder "
                       "examples/office of the documentation shows how."),
        m_view->viewport());
    placeholder->setObjectName(QStringLiteral("emptyMapPlaceholder"));
    placeholder->setAlignment(Qt::AlignCenter);
    placeholder->setEnabled(false);
    placeholder->setVisible(items.isEmpty());
    m_placeholder = placeholder;
}

void VisualRepresentationWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_placeholder->resize(m_view->viewport()->size());
}

void VisualRepresentationWidget::PositionChanged(DeviceEntryRepresentationGraphicsItem* pItem)
{
    for (const Line& line : std::as_const(m_lines)) {
        const auto* from = m_badges.value(line.ip1);
        const auto* to = m_badges.value(line.ip2);
        if ((from == pItem || to == pItem) && from && to)
            line.item->setLine(QLineF(from->pos(), to->pos()));
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

void VisualRepresentationWidget::fitSceneToItems()
{
    m_scene->setSceneRect(m_scene->itemsBoundingRect().adjusted(-100, -100, 100, 100));
}

VisualRepresentationWidget::~VisualRepresentationWidget()
{
    // The view goes with this widget; the scene, which has no parent, goes with it.
    delete m_view;
    delete m_scene;
}

} // namespace Tarnwick
