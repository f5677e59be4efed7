// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QHeaderView>
#include <QIcon>
#include <QLineEdit>
#include <QMenu>
#include <QPersistentModelIndex>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTreeView>

// Presses and releases the named push button of a window, as the mouse does.
inline void pressButton(QWidget* window, const char* objectName)
{
    auto* button = window->findChild<QPushButton*>(QString::fromLatin1(objectName));
    QVERIFY2(button, objectName);
    QTest::mousePress(button, Qt::LeftButton);
    QTest::mouseRelease(button, Qt::LeftButton);
}

// Clicks the box of a check box, as the mouse does.
inline void clickCheckBox(QCheckBox* box)
{
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, indicator.center());
}

// Replaces what a line edit holds by typing, key by key, as the user does: its validator and
// input mask see every key.
inline void typeInto(QLineEdit* field, const QString& text)
{
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, text);
}

// A double click as the window system delivers it: press, release, press, double click,
// release.
inline void doubleClick(QWidget* widget, const QPoint& at)
{
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mousePress(widget, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(widget, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, at);
}

// A point on a top-level row of a tree, inside the part of the tree that shows.
inline QPoint onRow(QTreeView* tree, int row)
{
    return {tree->viewport()->width() / 2, tree->visualRect(tree->model()->index(row, 0)).center().y()};
}

// A row of a model, read cell by cell; it stays with the row as the model sorts.
class ModelRow
{
public:
    ModelRow(const QAbstractItemModel* model, int row)
        : m_index(model->index(row, 0))
    {
    }

    QVariant data(int column, int role) const { return m_index.sibling(m_index.row(), column).data(role); }
    QString text(int column) const { return data(column, Qt::DisplayRole).toString(); }
    QString toolTip(int column) const { return data(column, Qt::ToolTipRole).toString(); }
    QIcon icon(int column) const { return qvariant_cast<QIcon>(data(column, Qt::DecorationRole)); }

private:
    QPersistentModelIndex m_index;
};

// A top-level row as a view shows it.
inline ModelRow viewRow(const QAbstractItemView* view, int row)
{
    return {view->model(), row};
}

// What the window system makes of a right click: the context menu event, at a point of the
// widget.
inline void rightClickForMenu(QWidget* widget, const QPoint& at)
{
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, at, widget->mapToGlobal(at));
    QCoreApplication::sendEvent(widget, &rightClick);
}

// Clicks the middle of a header's section, as the mouse does.
inline void clickHeaderSection(QHeaderView* header, int logicalIndex)
{
    const int x = header->sectionViewportPosition(logicalIndex) + header->sectionSize(logicalIndex) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, header->height() / 2));
}

// Opens the menu at a place and clicks the action of that text in it, or in the submenu that
// holds it, as the mouse does; false when the menu shows no such action.
inline bool chooseInMenu(QMenu* menu, const QPoint& globalPosition, const QString& text)
{
    menu->popup(globalPosition);
    if (!QTest::qWaitForWindowExposed(menu))
        return false;
    for (QAction* action : menu->actions()) {
        if (action->text() == text && action->isVisible()) {
            QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(action).center());
            return true;
        }
    }
    for (QAction* action : menu->actions()) {
        QMenu* submenu = action->menu();
        if (!submenu || !action->isVisible())
            continue;
        for (QAction* inner : submenu->actions()) {
            if (inner->text() != text)
                continue;
            // A click on its entry opens the submenu a moment later.
            QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(action).center());
            if (!QTest::qWaitFor([submenu] { return submenu->isVisible(); }) || !QTest::qWaitForWindowExposed(submenu))
                return false;
            QTest::mouseClick(submenu, Qt::LeftButton, Qt::NoModifier, submenu->actionGeometry(inner).center());
            return true;
        }
    }
    menu->hide();
    return false;
}
