#pragma once

#include <QHash>
#include <QList>
#include <QWidget>

class QGraphicsLineItem;
class QGraphicsScene;
class QGraphicsView;

namespace Tarnwick {

class DeviceEntryChangedEvent;
class DeviceEntryRepresentationGraphicsItem;

// The map tab: the placed devices as badges joined by lines, built from the map and the device
// list. A dragged badge takes its lines with it and keeps its new place in the map.
class VisualRepresentationWidget : public QWidget
{
    Q_OBJECT

public:
    explicit VisualRepresentationWidget(QWidget* parent = nullptr);
    ~VisualRepresentationWidget() override;

    QGraphicsScene* scene() const { return m_scene; }
    QGraphicsView* view() const { return m_view; }

public slots:
    void DeviceEntryChanged(Tarnwick::DeviceEntryChangedEvent*) { }
    // The lines of a badge that moves follow it.
    void PositionChanged(Tarnwick::DeviceEntryRepresentationGraphicsItem* pItem);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Line
    {
        QString ip1;
        QString ip2;
        QGraphicsLineItem* item;
    };

    void badgePutDown(DeviceEntryRepresentationGraphicsItem* badge);
    // The scene holds every badge with room around it, and stays put while a badge moves.
    void fitSceneToItems();

    QWidget* m_placeholder = nullptr;
    QGraphicsScene* m_scene;
    QGraphicsView* m_view;
    QList<Line> m_lines;
    QHash<QString, DeviceEntryRepresentationGraphicsItem*> m_badges;
};

} // namespace Tarnwick
