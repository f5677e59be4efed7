#pragma once

#include <QTreeWidget>

#include <functional>

class QAction;
class QMenu;

namespace Tarnwick {

// The tree of the device list; a right-click opens "Remove", "Edit", "Details" and "Export list
// as CSV..." for the selected rows. A double-click or Enter opens a row's details, F2 edits.
class UserListTreeWidget : public QTreeWidget
{
    Q_OBJECT

public:
    explicit UserListTreeWidget(QWidget* parent = nullptr);

    // Opens the context menu at a global position and returns when it has closed. Replaceable,
    // so that tests need not run the menu's own event loop.
    using MenuRunner = std::function<void(QMenu* menu, const QPoint& globalPosition)>;
    void setMenuRunner(MenuRunner runner);

    void runMenu(QMenu* menu, const QPoint& globalPosition) { m_runMenu(menu, globalPosition); }

    QMenu* contextMenu() const { return m_menu; }

    // The tooltip of a row, made when it is asked for (rich text; empty: the item's own).
    using ToolTipSource = std::function<QString(QTreeWidgetItem* row, int column)>;
    void setToolTipSource(ToolTipSource source);

signals:
    void detailsRequested(const QString& ip);
    void exportListRequested();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private slots:
    void RemoveTriggered();
    void EditTriggered();
    // Not offered by the menu.
    void AddTriggered() { }
    void DiscoverTriggered() { }

private:
    QMenu* m_menu;
    QAction* m_removeAction;
    QAction* m_editAction;
    MenuRunner m_runMenu;
    ToolTipSource m_toolTipSource;
};

} // namespace Tarnwick
