// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QList>
#include <QPointF>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

class QGraphicsLineItem;
class QGraphicsScene;
class QGraphicsView;
class QMenu;

namespace Tarnwick {

class DeviceAddedEvent;
class DevicePaths;
class DeviceEntryChangedEvent;
class DeviceRemovedEvent;
class DeviceEntryRepresentationGraphicsItem;
class MaintenanceView;
class ReachabilityView;
class SlowView;
struct VisualRepresentationItem;
struct VisualRepresentationItemConnection;

// The map tab: the placed devices as badges joined by lines, following the map and the device
// list. A dragged badge takes its lines with it and keeps its new place. The context menu adds
// devices, connects them, changes and removes lines; Ctrl+wheel, Ctrl++ and Ctrl+- zoom, and
// the zoom is kept. A device that leaves the list leaves the view, its place and lines kept
// for when it comes back.
class VisualRepresentationWidget : public QWidget
{
    Q_OBJECT

public:
    static constexpr double MinZoom = 0.2;
    static constexpr double MaxZoom = 4.0;

    explicit VisualRepresentationWidget(QWidget* parent = nullptr);
    ~VisualRepresentationWidget() override;

    QGraphicsScene* scene() const { return m_scene; }
    QGraphicsView* view() const { return m_view; }

    // Opens a menu at a global position and returns when it has closed; replaceable for tests.
    using MenuRunner = std::function<void(QMenu* menu, const QPoint& globalPosition)>;
    void setMenuRunner(MenuRunner runner);
    // Asks which of the candidates to place; empty for none. Replaceable for tests.
    using DeviceChooser = std::function<QString(QWidget* parent, const QStringList& candidates)>;
    void setDeviceChooser(DeviceChooser chooser);

    // The context menu for a point of the view, as the right mouse button opens it.
    void openContextMenu(const QPoint& viewPosition);
    // Waits for the next click on a badge to join it to this one.
    void beginConnecting(const QString& fromIp);
    bool connecting() const { return !m_connectFrom.isEmpty(); }

    double zoom() const { return m_zoom; }
    void setZoom(double zoom);
    void fitToWindow();
    // Centres the view on the device's badge, selects it and lights it up for a moment.
    void showDevice(const QString& ip);
    static constexpr int HighlightMs = 1500;
    // Where the badges learn which devices are cut off behind a failed one; none shows none.
    void setReachability(const ReachabilityView* reachability);
    // Where the badges learn which devices are slow; none shows none.
    void setSlowView(const SlowView* slow);
    // Where the badges learn which devices are in maintenance, and until when; none shows none.
    void setMaintenanceView(const MaintenanceView* maintenance);
    // The ways the path watch learnt: "Show learnt paths" draws each device without a line of
    // its own joined to its learnt parent, dotted, and "Place all devices" lays out by them too.
    // None offers neither.
    void setPaths(const DevicePaths* paths);
    // The learnt lines shown, as parent and device.
    QList<QPair<QString, QString>> learntLinesShown() const;

    // The first badge of an address (a file may place one twice).
    DeviceEntryRepresentationGraphicsItem* badge(const QString& ip) const;
    // Every badge, in the order they were placed.
    const QList<DeviceEntryRepresentationGraphicsItem*>& badges() const { return m_badges; }

public slots:
    void DeviceEntryChanged(Tarnwick::DeviceEntryChangedEvent*) { }
    // The lines of a badge that moves follow it.
    void PositionChanged(Tarnwick::DeviceEntryRepresentationGraphicsItem* pItem);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showCutOffs();
    // Each device the user drew no line to, joined to the nearest listed device on its way.
    QList<VisualRepresentationItemConnection> learntConnections() const;
    void showLearntPaths();
    void showMaintenance(DeviceEntryRepresentationGraphicsItem* badge);
    struct Line
    {
        QString ip1;
        QString ip2;
        QGraphicsLineItem* item;
    };

    DeviceEntryRepresentationGraphicsItem* addBadge(const VisualRepresentationItem& item);
    void removeBadge(const VisualRepresentationItem& item);
    // Lines added after the start go under every badge.
    void addLine(const VisualRepresentationItemConnection& connection, qreal z = -1);
    void removeLine(const VisualRepresentationItemConnection& connection);
    bool hasLine(const VisualRepresentationItemConnection& connection) const;
    void restyleLine(const VisualRepresentationItemConnection& connection);
    // Lines and their pictures in the menu take the colour of the view's text.
    QColor lineColour() const;
    Line* lineAt(const QPointF& scenePosition);
    // Shows the badges and lines of an address that came into the list, hides those of one that
    // left it.
    void followTheList(const QString& ip);
    // The learnt paths drawn again once the current burst of changes is over.
    void showLearntPathsSoon();
    // Runs work once the current burst of changes is over, however often it is asked for
    // meanwhile; pending says that it is asked for.
    void onceSoon(bool& pending, void (VisualRepresentationWidget::*work)());
    void badgePutDown(DeviceEntryRepresentationGraphicsItem* badge);
    void finishConnecting(const QString& toIp, const QPoint& globalPosition);
    // Runs a menu opened by a press, whose release the menu takes: no badge keeps the press.
    void runMenu(QMenu* menu, const QPoint& globalPosition);
    // The scene holds every badge with room around it, and stays put while a badge moves.
    void fitSceneToItems();
    // Fits the scene to the badges once the moves under way are done.
    void fitSceneSoon();
    void updatePlaceholder();

    QWidget* m_placeholder = nullptr;
    QGraphicsScene* m_scene;
    QGraphicsView* m_view;
    QWidget* m_viewport;
    QList<Line> m_lines;
    QList<Line> m_learntLines;
    QList<DeviceEntryRepresentationGraphicsItem*> m_badges;
    // The same badges by address, in the order they were placed.
    QHash<QString, QList<DeviceEntryRepresentationGraphicsItem*>> m_badgesByAddress;
    const ReachabilityView* m_reachability = nullptr;
    const SlowView* m_slow = nullptr;
    const MaintenanceView* m_maintenance = nullptr;
    const DevicePaths* m_paths = nullptr;
    MenuRunner m_runMenu;
    DeviceChooser m_chooseDevice;
    QString m_connectFrom;
    double m_zoom = 1.0;
    qreal m_nextZ = 0;
    bool m_fitPending = false;
    bool m_learntPending = false;
    QPointer<DeviceEntryRepresentationGraphicsItem> m_highlighted;
    QTimer m_highlightEnd;
};

} // namespace Tarnwick
