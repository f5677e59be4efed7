#pragma once

#include <QTreeWidget>

#include <functional>

class QAction;
class QMenu;

namespace Tarnwick {

// The tree of the device list; a right-click opens "Remove" and "Edit" for the selected rows.
class UserListTreeWidget : public QTreeWidget
{
    Q_OBJECT

public:
    explicit UserListTreeWidget(QWidget* parent = nullptr);

    // Opens the context menu at a global position and returns when it has closed. Replaceable,
    // so that tests need not run the menu's own event loop.
    using MenuRunner = std::function<void(QMenu* menu, const QPoint& globalPosition)>;
    void setMenuRunner(MenuRunner runner);

    QMenu* contextMenu() const { return m_menu; }

protected:
    void mousePressEvent(QMouseEvent* event) override;

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
};

} // namespace Tarnwick
