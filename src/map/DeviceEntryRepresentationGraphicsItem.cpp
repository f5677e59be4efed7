// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceEntryRepresentationGraphicsItem.h"

#include "data/Data.h"
#include "data/DeviceStateWords.h"
#include "skin/DevicePictures.h"
#include "skin/MaintenanceMark.h"
#include "skin/SkinResources.h"
#include "skin/SlowMark.h"

#include <QAccessible>
#include <QFontMetrics>
#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace Tarnwick {

namespace {

constexpr qreal DiscRadius = 60;
// Where the plate of texts starts, below the type picture.
constexpr qreal PlateTop = 4;
constexpr qreal PlatePadding = 6;
// Longer descriptions and host names are cut with an ellipsis; the tooltip has them whole.
constexpr int MaxTextWidth = 160;
// The ring of a selected or highlighted badge, outside the disc's frame.
constexpr qreal RingGap = 6;
constexpr qreal RingWidth = 5;
const QColor HighlightColour(255, 190, 0);
const QColor SelectionColour(40, 110, 220);

QFont badgeFont(const QGraphicsItem* item)
{
    return item->scene() ? item->scene()->font() : QFont();
}

struct Colours
{
    QColor fill;
    QPen frame;
    QColor text;
};

Colours coloursOf(DeviceEntryRepresentationGraphicsItem::Look look)
{
    using Look = DeviceEntryRepresentationGraphicsItem::Look;
    switch (look) {
    case Look::Failed:
        return {QColor(255, 205, 205), QPen(QColor(200, 20, 20), 4), QColor(160, 0, 0)};
    case Look::Unreachable:
        return {QColor(255, 234, 190), QPen(QColor(200, 125, 0), 3, Qt::DashLine), QColor(130, 75, 0)};
    case Look::NotInList:
        return {QColor(225, 225, 225), QPen(QColor(120, 120, 120), 1), QColor(120, 120, 120)};
    case Look::Normal:
        break;
    }
    return {QColor(200, 222, 255), QPen(Qt::black, 1), QColor(Qt::black)};
}

} // namespace

DeviceEntryRepresentationGraphicsItem::DeviceEntryRepresentationGraphicsItem(const QString& ip)
    : m_ip(ip)
{
    setFlag(ItemIsSelectable);
    refreshEntry();
}

void DeviceEntryRepresentationGraphicsItem::refreshEntry()
{
    if (Data* data = Data::instance())
        m_entry = data->entry(m_ip);
    layOut();
}

void DeviceEntryRepresentationGraphicsItem::setCutOffBehind(const QString& behind)
{
    if (behind == m_behind)
        return;
    m_behind = behind;
    layOut();
}

void DeviceEntryRepresentationGraphicsItem::layOut()
{
    // What the device's state is, on one line or, said of a device cut off, two: a plate no
    // wider than the disc leaves room for the badges beside it.
    QStringList status;
    const QString behind = m_entry.state == DeviceStateDisconnected ? m_behind : QString();
    if (m_entry.ip.isEmpty()) {
        m_look = Look::NotInList;
        //: The state line of a map badge whose device the device list does not hold
        status << tr("not in list");
    } else if (!behind.isEmpty()) {
        m_look = Look::Unreachable;
        // Two lines on the badge, one on the tooltip.
        //: The state lines of a map badge, broken where the line breaks; %1: the failed device
        status << tr("unreachable\nbehind %1").arg(behind).split(QLatin1Char('\n'));
    } else if (m_entry.awaitingFirstResult) {
        m_look = Look::Normal;
        //: The state line of a map badge
        status << tr("not yet probed");
    } else {
        m_look = m_entry.state == DeviceStateDisconnected ? Look::Failed : Look::Normal;
        // A round trip with its unit; "X" (no reply) as it is.
        //: A round trip in milliseconds
        status << (m_entry.lastProbe.answered() ? tr("%1 ms").arg(m_entry.pingResult) : m_entry.pingResult);
    }
    const QFontMetricsF metrics(badgeFont(this));
    QStringList lines{metrics.elidedText(m_ip, Qt::ElideMiddle, MaxTextWidth)};
    if (!m_entry.description.isEmpty())
        lines << metrics.elidedText(m_entry.description, Qt::ElideRight, MaxTextWidth);
    for (const QString& line : std::as_const(status))
        lines << metrics.elidedText(line, Qt::ElideMiddle, MaxTextWidth);
    m_statusLines = int(status.size());
    qreal width = 0;
    for (const QString& line : std::as_const(lines))
        width = std::max(width, metrics.horizontalAdvance(line));
    width = std::ceil(width) + 2 * PlatePadding;
    const qreal height = std::ceil(qreal(lines.size()) * metrics.height()) + PlatePadding;
    const QRectF plate(-width / 2, PlateTop, width, height);
    // The disc's frame is drawn half outside it, and the ring beyond that.
    const qreal outside = m_highlighted || isSelected() ? RingGap + RingWidth : 3;
    const QRectF bounds = QRectF(-DiscRadius, -DiscRadius, 2 * DiscRadius, 2 * DiscRadius)
                              .adjusted(-outside, -outside, outside, outside)
                              .united(plate.adjusted(-1, -1, 1, 1));
    if (bounds != m_bounds)
        prepareGeometryChange();
    m_bounds = bounds;
    m_plate = plate;
    m_lines = lines;
    QStringList tip{m_ip, m_entry.description, status.join(QLatin1Char(' ')), m_maintenance};
    tip.removeAll(QString());
    setToolTip(tip.join(QLatin1Char('\n')));
    update();
    tellScreenReaders();
}

QString DeviceEntryRepresentationGraphicsItem::spokenName() const
{
    return m_entry.description.isEmpty() ? m_ip : QStringLiteral("%1 %2").arg(m_ip, m_entry.description);
}

QString DeviceEntryRepresentationGraphicsItem::spokenState() const
{
    using State = DeviceStateWords::State;
    const State state = m_entry.awaitingFirstResult ? State::NotProbed
        : m_entry.state == DeviceStateConnected     ? State::Connected
                                                    : State::Disconnected;
    const QString words = DeviceStateWords::of(state, m_slow,
                                               m_entry.state == DeviceStateDisconnected ? m_behind : QString());
    return m_maintenance.isEmpty() ? words : QStringLiteral("%1; %2").arg(words, m_maintenance);
}

void DeviceEntryRepresentationGraphicsItem::tellScreenReaders()
{
    const QString name = spokenName();
    const QString state = spokenState();
    const bool renamed = name != m_spokenName;
    const bool restated = state != m_spokenState;
    m_spokenName = name;
    m_spokenState = state;
    if (!scene() || !QAccessible::isActive())
        return;
    if (renamed) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
    if (restated) {
        QAccessibleEvent event(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&event);
    }
}

void DeviceEntryRepresentationGraphicsItem::setSlow(bool slow)
{
    if (slow == m_slow)
        return;
    m_slow = slow;
    update();
    tellScreenReaders();
}

void DeviceEntryRepresentationGraphicsItem::setMaintenance(const QString& text)
{
    if (text == m_maintenance)
        return;
    m_maintenance = text;
    layOut();
}

bool DeviceEntryRepresentationGraphicsItem::showsSlow() const
{
    return m_slow && m_look == Look::Normal && !m_entry.awaitingFirstResult && m_entry.state == DeviceStateConnected;
}

void DeviceEntryRepresentationGraphicsItem::setHighlighted(bool highlighted)
{
    if (highlighted == m_highlighted)
        return;
    m_highlighted = highlighted;
    layOut();
}

QVariant DeviceEntryRepresentationGraphicsItem::itemChange(GraphicsItemChange change, const QVariant& value)
{
    if (change == ItemSelectedHasChanged)
        layOut();
    return QGraphicsItem::itemChange(change, value);
}

QRectF DeviceEntryRepresentationGraphicsItem::boundingRect() const
{
    return m_bounds;
}

void DeviceEntryRepresentationGraphicsItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setFont(badgeFont(this));
    const Colours colours = coloursOf(m_look);
    const QRectF disc(-DiscRadius, -DiscRadius, 2 * DiscRadius, 2 * DiscRadius);
    painter->setPen(colours.frame);
    painter->setBrush(colours.fill);
    painter->drawEllipse(disc);
    if (m_highlighted || isSelected()) {
        const qreal ring = RingGap + RingWidth / 2;
        painter->setPen(QPen(m_highlighted ? HighlightColour : SelectionColour, RingWidth));
        painter->setBrush(Qt::NoBrush);
        painter->drawEllipse(disc.adjusted(-ring, -ring, ring, ring));
    }

    if (m_look != Look::NotInList) {
        const QString type = DevicePictures::forType(m_entry.type);
        if (!type.isEmpty()) {
            const QImage picture = SkinResources::image(type);
            painter->drawImage(QRectF(-24, -48, 48, 48),
                               m_look == Look::Unreachable ? picture.convertToFormat(QImage::Format_Grayscale8)
                                                           : picture);
        }
        const QString state = m_entry.awaitingFirstResult ? DevicePictures::notProbed()
                                                          : DevicePictures::forState(m_entry.state);
        const QRectF statePlace(-50, -30, 18, 18);
        if (!state.isEmpty())
            painter->drawImage(statePlace, SkinResources::image(state), QRectF(0, 0, 64, 64));
        if (showsSlow())
            SlowMark::paint(*painter, statePlace);
        if (showsMaintenance())
            MaintenanceMark::paint(
                *painter, QRectF(-statePlace.right(), statePlace.top(), statePlace.width(), statePlace.height()));
    }

    // The plate keeps the texts readable over the disc's edge and the lines below it.
    QPen plateFrame = colours.frame;
    plateFrame.setWidthF(1);
    painter->setPen(plateFrame);
    painter->setBrush(QColor(Qt::white));
    painter->drawRoundedRect(m_plate, 4, 4);
    const qreal lineHeight = (m_plate.height() - PlatePadding) / qreal(std::max<qsizetype>(1, m_lines.size()));
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        // The last lines say the state; the first ones are the device's names.
        const bool status = i >= m_lines.size() - m_statusLines && i > 0;
        painter->setPen(status || m_look == Look::NotInList ? colours.text : QColor(Qt::black));
        const QRectF row(m_plate.left(), m_plate.top() + PlatePadding / 2 + qreal(i) * lineHeight, m_plate.width(),
                         lineHeight);
        painter->drawText(row, Qt::AlignCenter | Qt::TextDontClip, m_lines[i]);
    }
}

bool DeviceEntryRepresentationGraphicsItem::showsAlike(const DeviceEntry& one, const DeviceEntry& other)
{
    return one.ip == other.ip && one.state == other.state && one.awaitingFirstResult == other.awaitingFirstResult
        && one.lastProbe.answered() == other.lastProbe.answered() && one.type == other.type
        && one.pingResult == other.pingResult && one.description == other.description;
}

void DeviceEntryRepresentationGraphicsItem::DeviceEntryChanged(DeviceEntryChangedEvent* pEvent)
{
    const DeviceEntry& changed = pEvent->newEntry();
    if (changed.ip != m_ip)
        return;
    // Most results leave what the badge shows as it was; measuring its texts anew for each
    // would make every placed device cost its share of every result.
    if (showsAlike(changed, m_entry))
        return;
    m_entry = changed;
    layOut();
}

void DeviceEntryRepresentationGraphicsItem::mousePressEvent(QGraphicsSceneMouseEvent* event)
{
    // Taking the press makes this badge the mouse grabber, so the view does not pan.
    m_dragging = true;
    event->accept();
}

void DeviceEntryRepresentationGraphicsItem::mouseMoveEvent(QGraphicsSceneMouseEvent* event)
{
    if (m_dragging) {
        setPos(pos() + (event->scenePos() - event->lastScenePos()));
        emit PositionChanged(this);
    }
    QGraphicsItem::mouseMoveEvent(event);
}

void DeviceEntryRepresentationGraphicsItem::mouseReleaseEvent(QGraphicsSceneMouseEvent* event)
{
    if (m_dragging && event->buttonDownScenePos(event->button()) != event->scenePos())
        emit dragFinished(this);
    m_dragging = false;
    event->accept();
}

} // namespace Tarnwick
