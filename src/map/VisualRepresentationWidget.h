#pragma once

#include <QList>
#include <QWidget>

class QGraphicsLineItem;
class QGraphicsScene;
class QGraphicsView;

namespace Tarnwick {

class DeviceEntryChangedEvent;
class DeviceEntryRepresentationGraphicsItem;

// The map tab: the placed devices as badges joined by lines, built once from the map and
// the device list.
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
    void PositionChanged(Tarnwick::DeviceEntryRepresentationGraphicsItem*) { }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* m_placeholder = nullptr;
    QGraphicsScene* m_scene;
    QGraphicsView* m_view;
    QList<QGraphicsLineItem*> m_lineItems;
};

} // namespace Tarnwick
