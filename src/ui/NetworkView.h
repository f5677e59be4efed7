// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "SaveFileChooser.h"

#include <QTimer>
#include <QWidget>

#include <functional>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QSortFilterProxyModel;
class QTableView;

namespace Tarnwick {

class NetworkInventory;
class NetworkInventoryModel;

// The "Network" tab: every piece of hardware the network watch has heard, with a filter over
// every column, sorting by a click on a column's header (by address at first), and a row menu
// ("Add to list", "Mark as known" or "Mark as not known", "Forget", "Export as CSV...") that
// opens on a right click, the Menu key or Shift+F10 and acts on the selected rows.
class NetworkView : public QWidget
{
    Q_OBJECT

public:
    explicit NetworkView(NetworkInventory& inventory, QWidget* parent = nullptr);

    // Opens the row menu at a global position and returns when it has closed; replaceable, so
    // that tests need not run the menu's own event loop.
    using MenuRunner = std::function<void(QMenu* menu, const QPoint& globalPosition)>;
    void setMenuRunner(MenuRunner runner) { m_runMenu = std::move(runner); }
    // Asks where to save the export; replaceable, as the file dialog waits for the user.
    void setFileChooser(SaveFileChooser::Chooser chooser) { m_chooseFile = std::move(chooser); }

    QTableView* table() const { return m_table; }

public slots:
    // Writes the rows as shown, filtered and sorted, to a CSV file the user chooses.
    void exportList();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void openMenu(const QPoint& globalPosition);
    // The selected rows' hardware addresses, in the order shown.
    QStringList selectedHardware() const;
    // Opens the Add device dialog with the current row's address, and its name or else its
    // maker as the description.
    void addToList();
    void toggleKnown();
    void forgetSelected();
    bool allSelectedMarked() const;

    NetworkInventory& m_inventory;
    NetworkInventoryModel* m_model;
    QSortFilterProxyModel* m_sorted;
    QLineEdit* m_filter;
    QLabel* m_empty;
    QTableView* m_table;
    QMenu* m_menu;
    QAction* m_addToList;
    QAction* m_markKnown;
    QAction* m_forget;
    MenuRunner m_runMenu;
    SaveFileChooser::Chooser m_chooseFile;
    // Changes of the device list come one device at a time; "Known" is read again once.
    QTimer m_listChanged;
};

} // namespace Tarnwick
