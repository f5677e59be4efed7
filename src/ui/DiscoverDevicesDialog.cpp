// SPDX-License-Identifier: GPL-3.0-or-later
#include "DiscoverDevicesDialog.h"

#include "data/Data.h"
#include "data/DeviceAddress.h"
#include "data/PhraseBook.h"
#include "net/DiscoverDevicesThread.h"
#include "net/Ipv6NeighbourTable.h"
#include "net/ListedHosts.h"
#include "net/LocalNetwork.h"
#include "net/NeighbourTable.h"
#include "net/OuiRegistry.h"
#include "net/ProbeEngine.h"
#include "net/ReverseNameLookup.h"
#include "net/ScanRange.h"
#include "skin/DevicePictures.h"
#include "skin/SkinResources.h"

#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
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

enum Column {
    ActiveColumn,
    AddressColumn,
    ResultColumn,
    NameColumn,
    MacColumn,
    VendorColumn,
    InListColumn,
    ColumnCount
};

// Where a row keeps its address's number, so that sorting by address never parses text.
constexpr int AddressNumberRole = Qt::UserRole;
// Where a row keeps whether its address answered; the "A" column shows it as a picture only.
constexpr int ActiveRole = Qt::UserRole + 1;
// Where a row keeps whether its address answered ARP alone: present, but no echo reply.
constexpr int PresentRole = Qt::UserRole + 2;
// Where a row keeps whether the list watches its host; the "In list" column says it in words.
constexpr int InListRole = Qt::UserRole + 3;

// Silent, then present without echo reply, then answered.
int presenceRank(const QTreeWidgetItem& row)
{
    return row.data(ActiveColumn, ActiveRole).toInt() * 2 + row.data(ActiveColumn, PresentRole).toInt();
}

// The order of rows by one column: addresses by their number, the "A" column by its value,
// the others by their text.
bool rowLess(const QTreeWidgetItem& a, const QTreeWidgetItem& b, int column)
{
    if (column == ActiveColumn)
        return presenceRank(a) < presenceRank(b);
    if (column == AddressColumn)
        return a.data(AddressColumn, AddressNumberRole).toLongLong()
            < b.data(AddressColumn, AddressNumberRole).toLongLong();
    return a.text(column).localeAwareCompare(b.text(column)) < 0;
}

// A result row, in the order of the tree's sort column when the user sorts by a header.
class ResultRow : public QTreeWidgetItem
{
public:
    // Told that it never has rows of its own, the tree skips asking each row about them every
    // time it lays out tens of thousands.
    ResultRow() { setFlags(flags() | Qt::ItemNeverHasChildren); }

    bool operator<(const QTreeWidgetItem& other) const override
    {
        const QTreeWidget* tree = treeWidget();
        return rowLess(*this, other, tree ? tree->sortColumn() : AddressColumn);
    }
};

bool isActive(const QTreeWidgetItem* row)
{
    return row->data(ActiveColumn, ActiveRole).toInt() != 0;
}

// Answered the echo request or ARP: a host is there.
bool isThere(const QTreeWidgetItem* row)
{
    return presenceRank(*row) > 0;
}

bool isInList(const QTreeWidgetItem* row)
{
    return row->data(InListColumn, InListRole).toBool();
}

// "yes" or "no", as the rows show whether a host answered or is in the list.
QString yesNo(bool yes)
{
    if (yes) {
        //: In a column of the results: the host answered, or is in the device list
        return QCoreApplication::translate("Tarnwick::DiscoverDevicesDialog", "yes");
    }
    //: In a column of the results: the host did not answer, or is not in the device list
    return QCoreApplication::translate("Tarnwick::DiscoverDevicesDialog", "no");
}

// The hardware address the kernel learnt for the row's address, and its maker, where known.
void showHardware(QTreeWidgetItem* row, const NeighbourTable& neighbours)
{
    const QString hardware = neighbours.hardwareAddress(row->text(AddressColumn));
    if (hardware.isEmpty())
        return;
    row->setText(MacColumn, hardware);
    row->setText(VendorColumn, OuiRegistry::shared().vendor(hardware));
}

// A scan's result in the user's language. The scan begins the network's reason with a capital
// ("Host unreachable, from 10.0.0.1"): the reason is translated as the network said it, and
// begins with a capital again.
QString shownResult(const QString& result)
{
    if (!result.isEmpty() && result.front().isUpper()) {
        const QString reason = result.front().toLower() + result.mid(1);
        if (const QString translated = PhraseBook::translate(reason); translated != reason)
            return translated.left(1).toUpper() + translated.mid(1);
    }
    return PhraseBook::translate(result);
}

QPushButton* addButton(QHBoxLayout* row, QWidget* parent, const QString& text, const char* objectName)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(objectName));
    row->addWidget(button);
    return button;
}

} // namespace

DiscoverDevicesDialog::DiscoverDevicesDialog(ProbeEngine& engine, MonitorSwitch monitor, QWidget* parent,
                                             const NeighbourFinder* neighbours)
    : QDialog(parent)
    , m_engine(engine)
    , m_monitor(std::move(monitor))
    , m_tree(new QTreeWidget(this))
    , m_toEdit(new QLineEdit(this))
    , m_fromEdit(new QLineEdit(this))
    , m_statusLabel(new QLabel(tr("Search status:"), this))
    , m_progress(new QProgressBar(this))
    , m_stopButton(nullptr)
    //: Devices added from here tell when their state changes
    , m_informCheckBox(new QCheckBox(tr("Information on state change"), this))
    //: A scan that gives up silent addresses early
    , m_quickCheckBox(new QCheckBox(tr("Quick scan"), this))
    , m_names(new ReverseNameLookup(this))
    , m_neighbours(neighbours)
{
    setWindowTitle(tr("Discover Devices - Tarn Wick"));
    m_tree->setObjectName(QStringLiteral("resultTree"));
    m_fromEdit->setObjectName(QStringLiteral("fromEdit"));
    //: "To" is the label of the field of the last address
    m_fromEdit->setToolTip(tr("The first address, or a prefix such as 192.168.1.0/24 without \"To\""));
    m_toEdit->setObjectName(QStringLiteral("toEdit"));
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    m_progress->setObjectName(QStringLiteral("progressBar"));

    auto* layout = new QVBoxLayout(this);
    // The scan's option sits over the range it applies to, at the end of the range's heading,
    // so that the range's row keeps the room its fields and buttons need.
    auto* heading = new QHBoxLayout;
    heading->addWidget(new QLabel(tr("Fill from-to range"), this));
    heading->addStretch(1);
    m_quickCheckBox->setObjectName(QStringLiteral("quickScanCheckBox"));
    m_quickCheckBox->setChecked(true);
    m_quickCheckBox->setToolTip(tr("Once hosts have answered, a silent address is waited for ten times the slowest "
                                   "answer, at least 0.1 s, instead of the whole time-out"));
    heading->addWidget(m_quickCheckBox);
    layout->addLayout(heading);
    auto* range = new QHBoxLayout;
    //: The label of the first address of the range
    auto* fromLabel = new QLabel(tr("From"), this);
    fromLabel->setBuddy(m_fromEdit);
    range->addWidget(fromLabel);
    range->addWidget(m_fromEdit);
    //: The label of the last address of the range
    auto* toLabel = new QLabel(tr("To"), this);
    toLabel->setBuddy(m_toEdit);
    range->addWidget(toLabel);
    range->addWidget(m_toEdit);
    QPushButton* start = addButton(range, this, tr("Start search"), "startButton");
    //: Button: stops the search
    m_stopButton = addButton(range, this, tr("Stop"), "stopButton");
    m_stopButton->setEnabled(false);
    QPushButton* scanMine = addButton(range, this, tr("Scan my network"), "scanMyNetworkButton");
    //: Button: looks for the IPv6 hosts on this computer's links
    QPushButton* findNeighbours = addButton(range, this, tr("Find neighbours"), "findNeighboursButton");
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
    // Devices added from here tell of their state changes unless the user says otherwise. On a
    // line of its own, over the button it is for, so that its text is never cut.
    m_informCheckBox->setObjectName(QStringLiteral("informCheckBox"));
    m_informCheckBox->setChecked(true);
    layout->addWidget(m_informCheckBox, 0, Qt::AlignRight);
    auto* actions = new QHBoxLayout;
    //: Button: selects the rows of the hosts that answered
    QPushButton* selectActive = addButton(actions, this, tr("Select active"), "selectActiveButton");
    QPushButton* selectAll = addButton(actions, this, tr("Select all"), "selectAllButton");
    QPushButton* deselectAll = addButton(actions, this, tr("Deselect all"), "deselectAllButton");
    actions->addStretch(50);
    //: Button: adds the selected hosts to the device list
    QPushButton* addSelected = addButton(actions, this, tr("Add selected"), "addSelectedButton");
    layout->addLayout(actions);

    m_tree->setHeaderLabels({
        //: Column header, one letter wide: whether the host is active (answered)
        tr("A"),
        //: Column header: the host's address
        tr("IP"),
        //: Column header: what the probe of the address found
        tr("Ping result"),
        //: Column header: the host's name
        tr("Name"),
        //: Column header: the host's hardware (MAC) address
        tr("MAC"),
        //: Column header: the maker of the host's network hardware
        tr("Vendor"),
        //: Column header: whether the device list watches the host already
        tr("In list"),
    });
    // Sorted by hand rather than by Qt's sorting, which sorts every row again for each batch
    // of results and so stalls the window once a scan has tens of thousands of rows: a new row
    // goes straight to its place, and a click on a header sorts once.
    QHeaderView* header = m_tree->header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(AddressColumn, Qt::AscendingOrder);
    connect(header, &QHeaderView::sortIndicatorChanged, m_tree, &QTreeWidget::sortItems);
    fitColumns();
    m_tree->installEventFilter(this);
    m_tree->setRootIsDecorated(false);
    m_tree->setUniformRowHeights(true);
    m_tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_tree->setSelectionBehavior(QAbstractItemView::SelectRows);

    setBaseSize(300, 150);
    setMinimumSize(300, 150);
    // Keyboard order follows the layout: the range first.
    QWidget::setTabOrder(m_fromEdit, m_toEdit);
    QWidget::setTabOrder(m_toEdit, m_quickCheckBox);
    QWidget::setTabOrder(m_quickCheckBox, start);
    QWidget::setTabOrder(start, m_tree);
    QWidget::setTabOrder(m_tree, selectActive);
    QWidget::setTabOrder(selectActive, selectAll);
    QWidget::setTabOrder(selectAll, deselectAll);
    QWidget::setTabOrder(deselectAll, m_informCheckBox);
    QWidget::setTabOrder(m_informCheckBox, addSelected);
    m_fromEdit->setFocus();

    connect(start, &QPushButton::pressed, this, &DiscoverDevicesDialog::StartSearchPushButtonClicked);
    connect(m_stopButton, &QPushButton::pressed, this, &DiscoverDevicesDialog::StopPushButtonClicked);
    connect(scanMine, &QPushButton::pressed, this, &DiscoverDevicesDialog::ScanMyNetworkPushButtonClicked);
    connect(findNeighbours, &QPushButton::pressed, this, &DiscoverDevicesDialog::FindNeighboursPushButtonClicked);
    connect(m_names, &ReverseNameLookup::nameFound, this, &DiscoverDevicesDialog::nameFound);
    connect(selectActive, &QPushButton::pressed, this, &DiscoverDevicesDialog::SelectActivePushButtonClicked);
    connect(selectAll, &QPushButton::pressed, this, &DiscoverDevicesDialog::SelectAllPushButtonClicked);
    connect(deselectAll, &QPushButton::pressed, this, &DiscoverDevicesDialog::DeselectAllPushButtonClicked);
    connect(addSelected, &QPushButton::pressed, this, &DiscoverDevicesDialog::AddSelectedPushButtonClicked);
    if (const Data* store = Data::instance()) {
        m_listed = new ListedHosts(*store, m_engine.resolver(), this);
        connect(m_listed, &ListedHosts::namesResolved, this, &DiscoverDevicesDialog::listedNamesResolved);
        m_listed->refresh();
    }
}

void DiscoverDevicesDialog::fitColumns()
{
    // The columns whose texts have a widest form fit it, and so never cut a text short; the
    // name and the vendor, which have none, share what the dialog's width leaves.
    QHeaderView* header = m_tree->header();
    header->setStretchLastSection(false);
    auto* widest = new QTreeWidgetItem(m_tree);
    widest->setIcon(ActiveColumn, SkinResources::icon(QStringLiteral("ConnectedIcon.png")));
    widest->setText(AddressColumn, QStringLiteral("255.255.255.255"));
    widest->setText(ResultColumn, shownResult(DiscoverDevicesThread::resultText(ProbeResult{ProbeResult::Present})));
    widest->setText(MacColumn, QStringLiteral("DD:DD:DD:DD:DD:DD"));
    const QFontMetrics metrics = m_tree->fontMetrics();
    widest->setText(InListColumn,
                    metrics.horizontalAdvance(yesNo(false)) > metrics.horizontalAdvance(yesNo(true)) ? yesNo(false)
                                                                                                     : yesNo(true));
    int fixedWidth = 0;
    for (const int column : {ActiveColumn, AddressColumn, ResultColumn, MacColumn, InListColumn}) {
        m_tree->resizeColumnToContents(column);
        fixedWidth += m_tree->columnWidth(column);
    }
    delete widest;
    const int sharedWidth = 2 * 180;
    for (const int column : {NameColumn, VendorColumn}) {
        m_tree->setColumnWidth(column, sharedWidth / 2);
        header->setSectionResizeMode(column, QHeaderView::Stretch);
    }
    // Opens wide enough for every column at its width.
    resize(std::max(sizeHint().width(), fixedWidth + sharedWidth + 2 * m_tree->frameWidth() + 40), sizeHint().height());
}

DiscoverDevicesDialog::~DiscoverDevicesDialog()
{
    // The scan reports to this dialog; it must not outlive it.
    if (scanRunning()) {
        stopScan();
        resumeMonitor();
    }
    if (m_neighbourSearch) {
        m_stopNeighbourSearch = true;
        m_neighbourSearch->wait();
        delete m_neighbourSearch;
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
    const QString title = icon == QMessageBox::Question ? tr("Search running") : tr("Validation failed");
    auto* box = new QMessageBox(QMessageBox::Icon(icon), title, text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->show();
}

void DiscoverDevicesDialog::StartSearchPushButtonClicked()
{
    if (scanRunning()) {
        showMessage(QMessageBox::Question, tr("Searching is already running. Please wait."));
        return;
    }
    // A prefix in "From" is scanned as the command line's --scan takes it, without "To".
    if (const std::optional<ScanRange> prefix = ScanRange::parsePrefix(m_fromEdit->text().trimmed())) {
        startScan(*prefix);
        return;
    }
    const auto from = parseIPv4(m_fromEdit->text());
    if (!from) {
        //: "From" is the label of the field of the first address
        showMessage(QMessageBox::Information,
                    tr("\"From\" field should contain proper IPv4 address (ex. 192.168.1.1)"));
        return;
    }
    const auto to = parseIPv4(m_toEdit->text());
    if (!to) {
        //: "To" is the label of the field of the last address
        showMessage(QMessageBox::Information, tr("\"To\" field should contain proper IPv4 address (ex. 192.168.1.1)"));
        return;
    }
    startScan(ScanRange::box(*from, *to));
}

void DiscoverDevicesDialog::clearResults()
{
    qDeleteAll(std::exchange(m_pendingRows, {}));
    m_tree->clear();
    m_rowsByAddress.clear();
    m_thereRows.clear();
    // The list's names may point elsewhere by now.
    if (m_listed)
        m_listed->refresh();
    refreshListedHardware();
}

void DiscoverDevicesDialog::FindNeighboursPushButtonClicked()
{
    if (scanRunning() || neighbourSearchRunning()) {
        showMessage(QMessageBox::Question, tr("Searching is already running. Please wait."));
        return;
    }
    clearResults();
    m_progress->hide();
    m_statusLabel->setText(tr("Finding neighbours..."));
    m_stopNeighbourSearch = false;
    // A few echo requests in all: the monitor goes on meanwhile.
    m_neighbourSearch = QThread::create([this] {
        std::optional<NeighbourFinder> own;
        const NeighbourFinder& finder = m_neighbours ? *m_neighbours : own.emplace(OuiRegistry::shared());
        const NeighbourFinder::Outcome outcome = finder.find(NeighbourFinder::ListenMs, &m_stopNeighbourSearch);
        QMetaObject::invokeMethod(
            this, [this, outcome] { showNeighbours(outcome); }, Qt::QueuedConnection);
    });
    m_neighbourSearch->start();
}

void DiscoverDevicesDialog::showNeighbours(const NeighbourFinder::Outcome& outcome)
{
    m_neighbourSearch->wait();
    delete std::exchange(m_neighbourSearch, nullptr);
    // The kernel has learnt the hardware of the hosts that answered, the listed ones among them.
    refreshListedHardware();
    // After every IPv4 address, in the finder's order.
    qint64 order = qint64(1) << 32;
    for (const NeighbourFinder::Neighbour& neighbour : outcome.neighbours) {
        auto* row = new ResultRow;
        row->setIcon(ActiveColumn, SkinResources::icon(QStringLiteral("ConnectedIcon.png")));
        row->setData(ActiveColumn, ActiveRole, true);
        row->setData(ActiveColumn, PresentRole, false);
        row->setText(AddressColumn, neighbour.address);
        row->setData(AddressColumn, AddressNumberRole, order++);
        //: The neighbour's round trip: %1 milliseconds
        row->setText(ResultColumn, tr("%1 ms").arg(neighbour.roundTripUs / 1000));
        row->setText(MacColumn, neighbour.hardwareAddress);
        row->setText(VendorColumn, neighbour.vendor);
        m_rowsByAddress.insert(neighbour.address, row);
        markInList(row);
        place(row);
        m_names->lookUp(neighbour.address);
    }
    // Link-local addresses with their link are wider than any IPv4 address.
    if (!outcome.neighbours.isEmpty())
        m_tree->resizeColumnToContents(AddressColumn);
    m_statusLabel->setText(PhraseBook::translate(NeighbourFinder::summary(outcome)));
}

void DiscoverDevicesDialog::startScan(const ScanRange& range)
{
    clearResults();
    if (m_monitor.pause)
        m_monitor.pause();
    m_stopButton->setEnabled(true);
    m_statusLabel->setText(tr("Searching..."));
    m_progress->setRange(0, int(std::min<qint64>(range.size(), INT_MAX)));
    m_progress->setValue(0);
    m_progress->show();

    m_scan = new DiscoverDevicesThread(range, m_engine, DiscoverDevicesThread::TimeoutMs,
                                       m_quickCheckBox->isChecked() ? DiscoverDevicesThread::Wait::Quick
                                                                    : DiscoverDevicesThread::Wait::Full);
    connect(m_scan, &DiscoverDevicesThread::addressProbed, this, &DiscoverDevicesDialog::scanResult);
    connect(m_scan, &DiscoverDevicesThread::scanCompleted, this, &DiscoverDevicesDialog::scanCompleted);
    // A finished scan is released; one that still runs is never deleted.
    connect(m_scan, &QThread::finished, m_scan, &QObject::deleteLater);
    m_searchStarted = true;
    m_scan->start(QThread::InheritPriority);
}

void DiscoverDevicesDialog::scanResult(int finding, const QString& address, const QString& result)
{
    auto* row = new ResultRow;
    const bool active = finding == DiscoverDevicesThread::Answered;
    const bool present = finding == DiscoverDevicesThread::Present;
    row->setIcon(ActiveColumn,
                 SkinResources::icon(active        ? QStringLiteral("ConnectedIcon.png")
                                         : present ? DevicePictures::presentWithoutEcho()
                                                   : QStringLiteral("DisconnectedIcon.png")));
    row->setData(ActiveColumn, ActiveRole, active);
    row->setData(ActiveColumn, PresentRole, present);
    row->setText(AddressColumn, address);
    row->setData(AddressColumn, AddressNumberRole, DeviceAddress::ipv4Number(address));
    row->setText(ResultColumn, shownResult(result));
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
    // Described first, so that each row goes to its place at once.
    describeRows(m_pendingRows);
    for (QTreeWidgetItem* row : std::as_const(m_pendingRows))
        place(row);
    m_progress->setValue(m_progress->value() + int(m_pendingRows.size()));
    m_pendingRows.clear();
}

void DiscoverDevicesDialog::place(QTreeWidgetItem* row)
{
    const int column = m_tree->header()->sortIndicatorSection();
    const bool descending = m_tree->header()->sortIndicatorOrder() == Qt::DescendingOrder;
    // After the rows it ties with, as a stable sort leaves them.
    int low = 0;
    int high = m_tree->topLevelItemCount();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        const QTreeWidgetItem& there = *m_tree->topLevelItem(middle);
        if (descending ? !rowLess(there, *row, column) : !rowLess(*row, there, column))
            low = middle + 1;
        else
            high = middle;
    }
    m_tree->insertTopLevelItem(low, row);
}

void DiscoverDevicesDialog::keepSorted(QTreeWidgetItem* row, std::initializer_list<int> changedColumns)
{
    const int index = m_tree->indexOfTopLevelItem(row);
    if (index < 0
        || std::find(changedColumns.begin(), changedColumns.end(), m_tree->header()->sortIndicatorSection())
            == changedColumns.end())
        return;
    const bool selected = row->isSelected();
    m_tree->takeTopLevelItem(index);
    place(row);
    row->setSelected(selected);
}

void DiscoverDevicesDialog::describeRows(const QList<QTreeWidgetItem*>& rows)
{
    const NeighbourTable neighbours = NeighbourTable::current();
    for (QTreeWidgetItem* row : rows) {
        const QString address = row->text(AddressColumn);
        m_rowsByAddress.insert(address, row);
        if (isThere(row)) {
            m_thereRows.append(row);
            m_names->lookUp(address);
            showHardware(row, neighbours);
        }
        markInList(row);
    }
}

void DiscoverDevicesDialog::refreshListedHardware()
{
    m_listedHardware.clear();
    if (!m_listed)
        return;
    const NeighbourTable ipv4 = NeighbourTable::current();
    const Ipv6NeighbourTable ipv6 = Ipv6NeighbourTable::current();
    for (const QString& address : m_listed->addresses()) {
        const QString hardware = address.contains(QLatin1Char(':')) ? ipv6.hardwareAddress(address)
                                                                    : ipv4.hardwareAddress(address);
        if (!hardware.isEmpty())
            m_listedHardware.insert(hardware);
    }
}

bool DiscoverDevicesDialog::markInList(QTreeWidgetItem* row)
{
    // The same host by another of its addresses (its IPv4 one, say) is watched as well.
    const bool listed = m_listed
        && (m_listed->contains(row->text(AddressColumn)) || m_listedHardware.contains(row->text(MacColumn)));
    const QVariant known = row->data(InListColumn, InListRole);
    if (known.isValid() && known.toBool() == listed)
        return false;
    row->setData(InListColumn, InListRole, listed);
    row->setText(InListColumn, yesNo(listed));
    // Already watched: shown, but set apart, in the look's own colour for text that is set
    // apart (grey on light, lighter grey on dark, each readable).
    const QColor apart = palette().color(QPalette::Disabled, QPalette::Text);
    for (int column = 0; column < ColumnCount; ++column) {
        QFont font = row->font(column);
        font.setItalic(listed);
        row->setFont(column, font);
        row->setData(column, Qt::ForegroundRole, listed ? QVariant(apart) : QVariant());
    }
    return true;
}

void DiscoverDevicesDialog::listedNamesResolved()
{
    refreshListedHardware();
    for (QTreeWidgetItem* row : std::as_const(m_rowsByAddress)) {
        if (markInList(row))
            keepSorted(row, {InListColumn});
    }
}

void DiscoverDevicesDialog::nameFound(const QString& address, const QString& name)
{
    if (QTreeWidgetItem* row = m_rowsByAddress.value(address)) {
        row->setText(NameColumn, name);
        keepSorted(row, {NameColumn});
    }
}

void DiscoverDevicesDialog::scanEnded()
{
    m_stopButton->setEnabled(false);
    m_progress->hide();
    // Hardware addresses of hosts that answered late in a batch are known by now.
    const NeighbourTable neighbours = NeighbourTable::current();
    for (QTreeWidgetItem* row : std::as_const(m_thereRows)) {
        if (row->text(MacColumn).isEmpty()) {
            showHardware(row, neighbours);
            keepSorted(row, {MacColumn, VendorColumn});
        }
    }
}

void DiscoverDevicesDialog::StopPushButtonClicked()
{
    if (!scanRunning())
        return;
    stopScan();
    resumeMonitor();
    int active = 0;
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
        active += isActive(m_tree->topLevelItem(i)) ? 1 : 0;
    m_statusLabel->setText(
        PhraseBook::translate(DiscoverDevicesThread::stoppedText(active, m_tree->topLevelItemCount())));
}

void DiscoverDevicesDialog::ScanMyNetworkPushButtonClicked()
{
    if (scanRunning()) {
        showMessage(QMessageBox::Question, tr("Searching is already running. Please wait."));
        return;
    }
    QString why;
    const std::optional<LocalNetwork::Range> range = LocalNetwork::ofDefaultRoute(&why);
    if (!range) {
        m_statusLabel->setText(PhraseBook::translate(why));
        return;
    }
    m_fromEdit->setText(range->from);
    m_toEdit->setText(range->to);
    // Every address of the subnet in turn, x.y.z.0 and x.y.z.255 inside a /22 among them,
    // where the fields' box would keep each octet within 1 to 254.
    startScan(range->hosts);
    if (range->narrowed)
        m_statusLabel->setText(tr("Searching the /22 around this computer (its network is larger)..."));
}

bool DiscoverDevicesDialog::eventFilter(QObject* watched, QEvent* event)
{
    // Before the tree's own Ctrl+C, which copies one cell.
    if (watched == m_tree && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        // The selected rows, in the order shown, as tab-separated text.
        QStringList lines;
        for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = m_tree->topLevelItem(i);
            if (!row->isSelected())
                continue;
            QStringList fields{yesNo(isActive(row))};
            for (int column = AddressColumn; column < ColumnCount; ++column)
                fields << row->text(column);
            lines << fields.join(QLatin1Char('\t'));
        }
        QGuiApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void DiscoverDevicesDialog::scanCompleted(int active, int total, int present)
{
    addPendingRows();
    resumeMonitor();
    const QString presentText = PhraseBook::translate(DiscoverDevicesThread::presentText(present));
    m_statusLabel->setText(PhraseBook::translate(DiscoverDevicesThread::completionText(active, total))
                           + (presentText.isEmpty() ? QString() : QStringLiteral(". ") + presentText));
    m_scan = nullptr;
    scanEnded();
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
    scanEnded();
}

void DiscoverDevicesDialog::resumeMonitor()
{
    if (m_monitor.resume)
        m_monitor.resume();
}

void DiscoverDevicesDialog::closeEvent(QCloseEvent* event)
{
    if (scanRunning()) {
        stopScan();
        resumeMonitor();
    }
    QDialog::closeEvent(event);
}

void DiscoverDevicesDialog::SelectActivePushButtonClicked()
{
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = m_tree->topLevelItem(i);
        row->setSelected(isActive(row) && !isInList(row));
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
    int skipped = 0;
    for (QTreeWidgetItem* row : rows) {
        const QString address = row->text(AddressColumn);
        if (m_listed && m_listed->contains(address)) {
            ++skipped;
            continue;
        }
        // The name found for it, if any, describes the new entry.
        store->addEntry(
            DeviceEntry(address, row->text(NameColumn), DeviceTypePC, m_informCheckBox->isChecked(), NoReplyResult));
    }
    refreshListedHardware();
    describeRows(rows);
    for (QTreeWidgetItem* row : rows)
        keepSorted(row, {InListColumn, NameColumn, MacColumn, VendorColumn});
    if (skipped > 0) {
        //: %1: the hosts added; %n: the hosts skipped
        m_statusLabel->setText(
            tr("Added %1; %n skipped, already in the list.", nullptr, skipped).arg(rows.size() - skipped));
    } else {
        //: %n: the hosts added
        m_statusLabel->setText(tr("Added %n to the list.", nullptr, int(rows.size())));
    }
}

} // namespace Tarnwick
