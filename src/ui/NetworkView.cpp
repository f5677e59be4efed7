// SPDX-License-Identifier: GPL-3.0-or-later
#include "NetworkView.h"

#include "AddDeviceDialog.h"
#include "ModalDialog.h"
#include "NetworkInventoryModel.h"
#include "data/CsvDocument.h"
#include "data/Data.h"
#include "data/DeviceEntryChangedEvent.h"
#include "data/NetworkInventory.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace Tarnwick {

NetworkView::NetworkView(NetworkInventory& inventory, QWidget* parent)
    : QWidget(parent)
    , m_inventory(inventory)
    , m_model(new NetworkInventoryModel(inventory, this))
    , m_sorted(new QSortFilterProxyModel(this))
    , m_filter(new QLineEdit(this))
    , m_empty(new QLabel(this))
    , m_table(new QTableView(this))
    , m_menu(new QMenu(this))
    , m_addToList(m_menu->addAction(tr("Add to list")))
    , m_markKnown(m_menu->addAction(tr("Mark as known")))
    //: A row menu entry: drop the selected hardware from the network's list
    , m_forget(m_menu->addAction(tr("Forget")))
    , m_runMenu([](QMenu* menu, const QPoint& at) { menu->exec(at); })
    , m_chooseFile(&SaveFileChooser::choose)
{
    m_sorted->setSourceModel(m_model);
    m_sorted->setSortRole(NetworkInventoryModel::SortRole);
    m_sorted->setSortCaseSensitivity(Qt::CaseInsensitive);
    m_sorted->setFilterKeyColumn(-1);
    m_sorted->setFilterCaseSensitivity(Qt::CaseInsensitive);

    m_filter->setObjectName(QStringLiteral("networkFilterEdit"));
    //: The field that filters the network's devices
    m_filter->setPlaceholderText(tr("Filter"));
    m_filter->setAccessibleName(tr("Filter the network's devices"));
    m_filter->setClearButtonEnabled(true);
    connect(m_filter, &QLineEdit::textChanged, m_sorted, &QSortFilterProxyModel::setFilterFixedString);

    m_empty->setObjectName(QStringLiteral("nothingHeardLabel"));
    //: The quoted words name a setting of the Settings dialog
    m_empty->setText(
        tr("Nothing heard yet. Turn on \"Watch my network for new devices\" in the settings to fill this list."));
    m_empty->setWordWrap(true);
    m_empty->setTextFormat(Qt::PlainText);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, [this] { m_empty->hide(); });
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, [this] { m_empty->setVisible(m_model->rowCount() == 0); });
    m_empty->setVisible(m_model->rowCount() == 0);

    m_table->setObjectName(QStringLiteral("networkTable"));
    m_table->setAccessibleName(tr("Devices heard on the network"));
    m_table->setModel(m_sorted);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    // Rows of one line: the view never measures them one by one.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(NetworkInventoryModel::AddressColumn, Qt::AscendingOrder);
    // Wide enough for what the columns hold, not for the few rows there may be at first.
    const QFontMetrics metrics = m_table->fontMetrics();
    for (int column = 0; column < NetworkInventoryModel::ColumnCount; ++column)
        m_table->setColumnWidth(column,
                                std::max(metrics.horizontalAdvance(NetworkInventoryModel::typicalText(column)),
                                         m_table->horizontalHeader()->sectionSizeHint(column))
                                    + 16);
    m_table->installEventFilter(this);
    m_table->viewport()->installEventFilter(this);

    m_menu->addSeparator();
    connect(m_menu->addAction(tr("Export as CSV...")), &QAction::triggered, this, &NetworkView::exportList);
    connect(m_addToList, &QAction::triggered, this, &NetworkView::addToList);
    connect(m_markKnown, &QAction::triggered, this, &NetworkView::toggleKnown);
    connect(m_forget, &QAction::triggered, this, &NetworkView::forgetSelected);

    // An entry with an address of the device list is known: it follows the list's changes.
    m_listChanged.setSingleShot(true);
    m_listChanged.setInterval(0);
    connect(&m_listChanged, &QTimer::timeout, m_model, &NetworkInventoryModel::listChanged);
    if (Data* store = Data::instance()) {
        const auto listChanged = [this] { m_listChanged.start(); };
        store->connectReceiver(this,
                               {.changed =
                                    [listChanged](DeviceEntryChangedEvent* changed) {
                                        if (changed->oldEntry().ip != changed->newEntry().ip)
                                            listChanged();
                                    },
                                .added = [listChanged](DeviceAddedEvent*) { listChanged(); },
                                .removed = [listChanged](DeviceRemovedEvent*) { listChanged(); }});
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_filter);
    layout->addWidget(m_empty);
    layout->addWidget(m_table, 1);
}

bool NetworkView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_table->viewport() && event->type() == QEvent::MouseButtonPress) {
        const auto* press = static_cast<QMouseEvent*>(event);
        if (press->button() != Qt::RightButton)
            return false;
        // A right click inside the selection keeps it, so that the menu acts on all of it;
        // "Add to list" takes the row clicked.
        const QModelIndex at = m_table->indexAt(press->position().toPoint());
        if (at.isValid()) {
            QItemSelectionModel::SelectionFlags selection = QItemSelectionModel::NoUpdate;
            if (!m_table->selectionModel()->isRowSelected(at.row(), {}))
                selection = QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
            m_table->selectionModel()->setCurrentIndex(at, selection);
        }
        openMenu(press->globalPosition().toPoint());
        return true;
    }
    if (watched == m_table && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Menu && !(key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier))
            return false;
        const QModelIndex current = m_table->currentIndex();
        if (current.isValid() && !m_table->selectionModel()->isRowSelected(current.row(), {}))
            m_table->selectionModel()->select(current, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        const QRect row = current.isValid() ? m_table->visualRect(current).intersected(m_table->viewport()->rect())
                                            : QRect();
        openMenu(m_table->viewport()->mapToGlobal(row.isEmpty() ? m_table->viewport()->rect().center() : row.center()));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void NetworkView::openMenu(const QPoint& globalPosition)
{
    const bool any = !selectedHardware().isEmpty();
    m_addToList->setEnabled(any);
    m_markKnown->setEnabled(any);
    m_forget->setEnabled(any);
    m_markKnown->setText(any && allSelectedMarked() ? tr("Mark as not known") : tr("Mark as known"));
    m_runMenu(m_menu, globalPosition);
}

QStringList NetworkView::selectedHardware() const
{
    QModelIndexList rows = m_table->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList hardware;
    for (const QModelIndex& row : std::as_const(rows))
        hardware << m_model->hardwareAddress(m_sorted->mapToSource(row).row());
    return hardware;
}

bool NetworkView::allSelectedMarked() const
{
    const QStringList selected = selectedHardware();
    return std::all_of(selected.cbegin(), selected.cend(), [this](const QString& hardware) {
        const InventoryEntry* entry = m_inventory.entry(hardware);
        return entry && entry->markedKnown;
    });
}

void NetworkView::addToList()
{
    // The row the keyboard or the click is at, else the first of the selection.
    const QModelIndex current = m_table->currentIndex();
    const QStringList selected = selectedHardware();
    const QString hardware = current.isValid() && m_table->selectionModel()->isRowSelected(current.row(), {})
        ? m_model->hardwareAddress(m_sorted->mapToSource(current).row())
        : selected.value(0);
    const InventoryEntry* entry = m_inventory.entry(hardware);
    if (!entry)
        return;
    auto* dialog = new AddDeviceDialog;
    dialog->setObjectName(QStringLiteral("addDeviceDialog"));
    dialog->fillIn(entry->addresses.value(0), entry->name.isEmpty() ? entry->vendor : entry->name);
    ModalDialog::open(dialog, this);
}

void NetworkView::toggleKnown()
{
    const bool known = !allSelectedMarked();
    for (const QString& hardware : selectedHardware())
        m_inventory.markKnown(hardware, known);
}

void NetworkView::forgetSelected()
{
    // Each entry's row goes as it is forgotten: the selection is read first.
    for (const QString& hardware : selectedHardware())
        m_inventory.forget(hardware);
}

void NetworkView::exportList()
{
    const QString title = tr("Export network devices");
    const QString fileName = m_chooseFile(this, title, QStringLiteral("network.csv"));
    if (fileName.isEmpty())
        return;
    CsvDocument csv(NetworkInventoryModel::csvHeader());
    for (int row = 0; row < m_sorted->rowCount(); ++row) {
        QStringList fields;
        for (int column = 0; column < NetworkInventoryModel::ColumnCount; ++column)
            fields << m_sorted->index(row, column).data(NetworkInventoryModel::CsvRole).toString();
        csv.addRow(fields);
    }
    if (!csv.save(fileName)) {
        auto* box = new QMessageBox(QMessageBox::Warning, title, tr("\"%1\" could not be written.").arg(fileName),
                                    QMessageBox::Ok);
        box->setTextFormat(Qt::PlainText);
        ModalDialog::open(box, this);
    }
}

} // namespace Tarnwick
