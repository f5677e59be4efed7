#include "DiscoverDevicesDialog.h"

#include "DiscoverDevicesThread.h"
#include "PingerThread.h"
#include "data/Data.h"
#include "skin/SkinResources.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <utility>

namespace Tarnwick {

namespace {

enum Column { ActiveColumn, AddressColumn, ResultColumn };

QPushButton* addButton(QHBoxLayout* row, QWidget* parent, const QString& text, const char* objectName)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(objectName));
    row->addWidget(button);
    return button;
}

} // namespace

DiscoverDevicesDialog::DiscoverDevicesDialog(QWidget* parent)
    : QDialog(parent)
    , m_tree(new QTreeWidget(this))
    , m_toEdit(new QLineEdit(this))
    , m_fromEdit(new QLineEdit(this))
    , m_statusLabel(new QLabel(QStringLiteral("Search status:"), this))
    , m_progress(new QProgressBar(this))
{
    setWindowTitle(QStringLiteral("Discover Devices - Tarn Wick"));
    m_tree->setObjectName(QStringLiteral("resultTree"));
    m_fromEdit->setObjectName(QStringLiteral("fromEdit"));
    m_toEdit->setObjectName(QStringLiteral("toEdit"));
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    m_progress->setObjectName(QStringLiteral("progressBar"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Fill from-to range"), this));
    auto* range = new QHBoxLayout;
    range->addWidget(m_fromEdit);
    range->addWidget(m_toEdit);
    QPushButton* start = addButton(range, this, QStringLiteral("Start search"), "startButton");
    layout->addLayout(range);
    layout->addWidget(m_statusLabel);
    // Scans of silent ranges take a second per address; show how far one has come.
    m_progress->setFormat(QStringLiteral("%v / %m"));
    m_progress->setValue(0);
    m_progress->hide();
    layout->addWidget(m_progress);
    // Every batch makes the tree lay its rows out anew; a few batches a second keep a scan of
    // tens of thousands of addresses from costing a core.
    m_rowFlush.setSingleShot(true);
    m_rowFlush.setInterval(100);
    connect(&m_rowFlush, &QTimer::timeout, this, &DiscoverDevicesDialog::addPendingRows);
    layout->addWidget(m_tree);
    auto* actions = new QHBoxLayout;
    QPushButton* selectActive = addButton(actions, this, QStringLiteral("Select active"), "selectActiveButton");
    QPushButton* selectAll = addButton(actions, this, QStringLiteral("Select all"), "selectAllButton");
    QPushButton* deselectAll = addButton(actions, this, QStringLiteral("Deselect all"), "deselectAllButton");
    actions->addStretch(50);
    QPushButton* addSelected = addButton(actions, this, QStringLiteral("Add selected"), "addSelectedButton");
    layout->addLayout(actions);

    m_tree->setHeaderLabels({QStringLiteral("A"), QStringLiteral("IP"), QStringLiteral("Ping result")});
    m_tree->setColumnWidth(ActiveColumn, 50);
    m_tree->setColumnWidth(AddressColumn, 100);
    m_tree->setColumnWidth(ResultColumn, 100);
    m_tree->setRootIsDecorated(false);
    m_tree->setUniformRowHeights(true);
    m_tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_tree->setSelectionBehavior(QAbstractItemView::SelectRows);

    setBaseSize(300, 150);
    setMinimumSize(300, 150);
    // Keyboard order follows the layout: the range first.
    QWidget::setTabOrder(m_fromEdit, m_toEdit);
    QWidget::setTabOrder(m_toEdit, start);
    QWidget::setTabOrder(start, m_tree);
    QWidget::setTabOrder(m_tree, selectActive);
    QWidget::setTabOrder(selectActive, selectAll);
    QWidget::setTabOrder(selectAll, deselectAll);
    QWidget::setTabOrder(deselectAll, addSelected);
    m_fromEdit->setFocus();

    connect(start, &QPushButton::pressed, this, &DiscoverDevicesDialog::StartSearchPushButtonClicked);
    connect(selectActive, &QPushButton::pressed, this, &DiscoverDevicesDialog::SelectActivePushButtonClicked);
    connect(selectAll, &QPushButton::pressed, this, &DiscoverDevicesDialog::SelectAllPushButtonClicked);
    connect(deselectAll, &QPushButton::pressed, this, &DiscoverDevicesDialog::DeselectAllPushButtonClicked);
    connect(addSelected, &QPushButton::pressed, this, &DiscoverDevicesDialog::AddSelectedPushButtonClicked);
}

DiscoverDevicesDialog::~DiscoverDevicesDialog()
{
    // The scan reports to this dialog; it must not outlive it.
    if (scanRunning()) {
        stopScan();
        startPinger();
    }
    qDeleteAll(m_pendingRows);
}

std::optional<QList<quint8>> DiscoverDevicesDialog::parseIPv4(const QString& text)
{
    return DiscoverDevicesThread::parseAddress(text);
}

bool DiscoverDevicesDialog::scanRunning() const
{
    return m_searchStarted && m_scan;
}

void DiscoverDevicesDialog::showMessage(int icon, const QString& text)
{
    auto* box = new QMessageBox(QMessageBox::Icon(icon), QStringLiteral("Validation failed"), text, QMessageBox::Ok,
                                this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->show();
}

void DiscoverDevicesDialog::StartSearchPushButtonClicked()
{
    if (scanRunning()) {
        showMessage(QMessageBox::Question, QStringLiteral("Searching is already running. Please wait."));
        return;
    }
    const auto from = parseIPv4(m_fromEdit->text());
    if (!from) {
        showMessage(QMessageBox::Information,
                    QStringLiteral("\"From\" field should contain proper IPv4 address (ex. 192.168.1.1)"));
        return;
    }
    const auto to = parseIPv4(m_toEdit->text());
    if (!to) {
        showMessage(QMessageBox::Information,
                    QStringLiteral("\"To\" field should contain proper IPv4 address (ex. 192.168.1.1)"));
        return;
    }
    qDeleteAll(std::exchange(m_pendingRows, {}));
    m_tree->clear();
    stopPinger();
    m_statusLabel->setText(QStringLiteral("Searching..."));
    m_progress->setRange(0, int(std::min<qint64>(DiscoverDevicesThread::boxSize(*from, *to), INT_MAX)));
    m_progress->setValue(0);
    m_progress->show();

    m_scan = new DiscoverDevicesThread(*from, *to, this);
    // A finished scan is released; one that still runs is never deleted.
    connect(m_scan, &QThread::finished, m_scan, &QObject::deleteLater);
    m_searchStarted = true;
    m_scan->start(QThread::InheritPriority);
}

void DiscoverDevicesDialog::scanResult(bool active, const QString& address, const QString& result)
{
    auto* row = new QTreeWidgetItem;
    row->setIcon(
        ActiveColumn,
        SkinResources::icon(active ? QStringLiteral("ConnectedIcon.png") : QStringLiteral("DisconnectedIcon.png")));
    row->setData(ActiveColumn, Qt::EditRole, active);
    row->setText(AddressColumn, address);
    row->setText(ResultColumn, result);
    // Results come in bursts (every address whose time ran out in the same moment); they go
    // into the tree together, so the window never stalls.
    m_pendingRows.append(row);
    if (!m_rowFlush.isActive())
        m_rowFlush.start();
}

void DiscoverDevicesDialog::addPendingRows()
{
    m_rowFlush.stop();
    if (m_pendingRows.isEmpty())
        return;
    m_tree->addTopLevelItems(m_pendingRows);
    m_progress->setValue(m_progress->value() + int(m_pendingRows.size()));
    m_pendingRows.clear();
}

void DiscoverDevicesDialog::scanCompleted(int active, int total)
{
    addPendingRows();
    startPinger();
    m_statusLabel->setText(DiscoverDevicesThread::completionText(active, total));
    m_progress->hide();
    m_scan = nullptr;
    if (m_releaseAfterScan)
        deleteLater();
}

void DiscoverDevicesDialog::done(int result)
{
    if (scanRunning() && testAttribute(Qt::WA_DeleteOnClose)) {
        setAttribute(Qt::WA_DeleteOnClose, false);
        m_releaseAfterScan = true;
    }
    QDialog::done(result);
}

void DiscoverDevicesDialog::stopScan()
{
    m_scan->requestStop();
    m_scan->wait();
    // Reports the scan sent before it stopped are dropped with it; those taken already stay.
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
    addPendingRows();
    m_scan = nullptr;
    m_progress->hide();
}

void DiscoverDevicesDialog::closeEvent(QCloseEvent* event)
{
    if (scanRunning()) {
        stopScan();
        startPinger();
    }
    QDialog::closeEvent(event);
}

void DiscoverDevicesDialog::SelectActivePushButtonClicked()
{
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = m_tree->topLevelItem(i);
        row->setSelected(row->data(ActiveColumn, Qt::EditRole).toInt() != 0);
    }
}

void DiscoverDevicesDialog::SelectAllPushButtonClicked()
{
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
        m_tree->topLevelItem(i)->setSelected(true);
}

void DiscoverDevicesDialog::DeselectAllPushButtonClicked()
{
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
        m_tree->topLevelItem(i)->setSelected(false);
}

void DiscoverDevicesDialog::AddSelectedPushButtonClicked()
{
    const QList<QTreeWidgetItem*> rows = m_tree->selectedItems();
    Data* store = Data::instance();
    if (!store)
        return;
    for (const QTreeWidgetItem* row : rows)
        store->addEntry(DeviceEntry(row->text(AddressColumn), QString(), DeviceTypePC, false, NoReplyResult));
}

} // namespace Tarnwick
