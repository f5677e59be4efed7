// SPDX-License-Identifier: GPL-3.0-or-later
#include "UserList.h"

#include "DeviceDetailsDialog.h"
#include "DeviceListSortFilter.h"
#include "HistoryGraph.h"
#include "MaintenanceDialog.h"
#include "ModalDialog.h"
#include "MuteMark.h"
#include "SaveFileChooser.h"
#include "UserListStatistics.h"
#include "UserListTreeWidget.h"
#include "data/CheckRound.h"
#include "data/CsvDocument.h"
#include "data/Data.h"
#include "data/DeviceAddedEvent.h"
#include "data/DeviceAddress.h"
#include "data/DeviceEntryChangedEvent.h"
#include "data/DeviceRemovedEvent.h"
#include "data/DeviceSummary.h"
#include "data/DeviceTypeName.h"
#include "data/MaintenanceList.h"
#include "data/MuteList.h"
#include "data/PhraseBook.h"
#include "data/ReachabilityView.h"
#include "data/Settings.h"
#include "data/SlowView.h"
#include "history/HistoryReader.h"
#include "skin/DevicePictures.h"
#include "skin/MaintenanceMark.h"
#include "skin/SkinResources.h"
#include "skin/SlowMark.h"

#include <QBuffer>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMutexLocker>
#include <QPainter>
#include <QResizeEvent>
#include <QShortcut>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>
#include <tuple>

namespace Tarnwick {

namespace {

using Model = DeviceListModel;
constexpr int AddressColumn = Model::AddressColumn;
constexpr int ResultColumn = Model::ResultColumn;
constexpr int DescriptionColumn = Model::DescriptionColumn;
constexpr int InformColumn = Model::InformColumn;
constexpr int LossColumn = Model::LossColumn;
constexpr int AverageColumn = Model::AverageColumn;
constexpr int JitterColumn = Model::JitterColumn;
constexpr int SinceColumn = Model::SinceColumn;
constexpr int FirstOptionalColumn = Model::FirstOptionalColumn;
constexpr int ColumnCount = Model::ColumnCount;

// The picture and the sort rank of an entry's state.
std::pair<QString, Model::StateRank> stateOf(const DeviceEntry& entry)
{
    if (entry.awaitingFirstResult)
        return {DevicePictures::notProbed(), Model::NotProbed};
    return {DevicePictures::forState(entry.state),
            entry.state == DeviceStateConnected ? Model::Connected : Model::Disconnected};
}

// The round trip a result text stands for: the number shown (whole milliseconds, hundredths
// under one; the mark of further checks after it, "12 +1", aside), so that rows that show the
// same number keep their order.
std::optional<double> roundTripOf(const QString& text, const ProbeResult& result)
{
    bool shown = false;
    const double ms = text.section(QLatin1Char(' '), 0, 0).toDouble(&shown);
    return result.answered() && shown ? std::optional<double>(ms) : std::nullopt;
}

// Whether the entry's state and result come from a probe: neither does before its first result.
bool probed(const DeviceEntry& entry)
{
    return !entry.awaitingFirstResult && entry.state != DeviceStateNone;
}

// The result column's text: nothing until the first result, rather than a "no reply" never heard;
// a device of further checks has their count after it: "12 +1".
QString resultShown(const DeviceEntry& entry)
{
    if (!probed(entry))
        return {};
    if (entry.moreChecks.isEmpty())
        return entry.pingResult;
    return QStringLiteral("%1 +%2").arg(entry.pingResult).arg(entry.moreChecks.size());
}

// The result column's tooltip: why the last probe failed, and each further check's last result.
QString resultToolTip(const DeviceEntry& entry)
{
    QStringList lines;
    if (const QString why = entry.lastProbe.explanation(); !why.isEmpty())
        lines << why;
    lines << CheckRound::furtherResults(entry.moreChecks, entry.moreProbes, entry.lastProbe);
    for (QString& line : lines)
        line = PhraseBook::translate(line);
    return lines.join(QLatin1Char('\n'));
}

// "12,34,..." as column widths; an empty list when the text holds anything else.
QList<int> widthsFrom(const QString& text)
{
    QList<int> widths;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int width = part.toInt(&ok);
        if (!ok || width < 0 || width > 10000)
            return {};
        widths << width;
    }
    return widths;
}

// The last hour of a device as a small picture, inline in a rich-text tooltip.
QString sparkline(const QString& historyFile, const QString& ip)
{
    if (historyFile.isEmpty())
        return {};
    HistoryGraph::Series series;
    series.toMs = QDateTime::currentMSecsSinceEpoch();
    series.fromMs = series.toMs - 3600 * 1000;
    series.buckets = HistoryReader(historyFile).buckets(ip, series.fromMs, series.toMs, 1);
    if (series.buckets.isEmpty())
        return {};
    QImage image(180, 40, QImage::Format_ARGB32_Premultiplied);
    // On the tooltip's own background, light or dark.
    const QPalette palette = QToolTip::palette();
    image.fill(palette.color(QPalette::ToolTipBase));
    QPainter painter(&image);
    HistoryGraph::paint(painter, image.rect(), series, false, palette);
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return QStringLiteral("<br><img src=\"data:image/png;base64,%1\"><br>%2")
        .arg(QString::fromLatin1(png.toBase64()),
             QCoreApplication::translate("Tarnwick::UserList", "Round trip and loss, last hour").toHtmlEscaped());
}

} // namespace

UserList::UserList(QWidget* parent)
    : UserList(Services(), parent)
{
}

UserList::UserList(Services services, QWidget* parent)
    : QWidget(parent)
    , m_tree(new UserListTreeWidget(this))
    , m_services(std::move(services))
    , m_statistics(std::make_unique<UserListStatistics>(m_services.statistics))
    , m_model(new DeviceListModel(*m_statistics, this))
    , m_shown(new DeviceListSortFilter(*m_model, m_services.slow, this))
    , m_chooseFile(&SaveFileChooser::choose)
    , m_filter(new QLineEdit(this))
    , m_stateFilter(new QComboBox(this))
    , m_summary(new QLabel(this))
    , m_filterCount(new QLabel(this))
    , m_placeholder(new QLabel(m_tree->viewport()))
{
    m_tree->setObjectName(QStringLiteral("deviceTree"));
    m_tree->setModel(m_shown);
    m_tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_tree->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tree->setRootIsDecorated(false);
    // Every row is one line: the view then never measures rows one by one, which would make a
    // sort of thousands of rows cost seconds.
    m_tree->setUniformRowHeights(true);
    // The header's own minimum would widen the narrow type column past its 24 px.
    m_tree->header()->setMinimumSectionSize(16);
    // Widths kept before the optional columns came cover the columns before them. The optional
    // columns, whose figures are as narrow as their headers, are never narrower than those, in
    // whatever font the desktop has.
    const auto keptWidth = [this](int column) {
        const QList<int> kept = widthsFrom(Settings::instance().columnWidths);
        const int width = kept.size() >= FirstOptionalColumn && column < kept.size() ? kept[column]
                                                                                     : Model::defaultWidth(column);
        return column >= FirstOptionalColumn ? std::max(width, m_tree->header()->sectionSizeHint(column)) : width;
    };
    for (int column = 0; column < ColumnCount; ++column)
        m_tree->setColumnWidth(column, keptWidth(column));
    connect(m_tree->header(), &QHeaderView::sectionResized, this, [this, keptWidth](int resized) {
        // Only the user's own widths are kept: not those the list fits to its content, nor
        // the last column's, which stretches with the window.
        if (m_fittingColumns || resized == lastShownColumn())
            return;
        // A hidden column's size reads 0: the width it had stays kept for when it shows again.
        QStringList sizes;
        for (int column = 0; column < ColumnCount; ++column)
            sizes << QString::number(m_tree->isColumnHidden(column) ? keptWidth(column)
                                                                    : m_tree->header()->sectionSize(column));
        Settings::instance().set(&Settings::columnWidths, sizes.join(QLatin1Char(',')));
    });
    // Every column but the address may be hidden or shown from the header's menu; the choice is
    // kept.
    m_columnsMenu = new QMenu(this);
    for (int column = 0; column < ColumnCount; ++column) {
        if (column == AddressColumn)
            continue;
        QAction* toggle = m_columnsMenu->addAction(Model::header(column));
        toggle->setCheckable(true);
        toggle->setChecked(true);
        toggle->setData(column);
        connect(toggle, &QAction::toggled, this, [this, column](bool shown) {
            m_tree->setColumnHidden(column, !shown);
            // The header may give a column shown again a width of its own choosing.
            if (shown && column >= FirstOptionalColumn)
                m_tree->setColumnWidth(
                    column, std::max(m_tree->columnWidth(column), m_tree->header()->sectionSizeHint(column)));
            Settings::instance().set(&Settings::hiddenColumns, columnNumbers(0, FirstOptionalColumn, true));
            Settings::instance().set(&Settings::shownColumns, columnNumbers(FirstOptionalColumn, ColumnCount, false));
        });
    }
    showColumns(Settings::instance().hiddenColumns, Settings::instance().shownColumns);
    m_tree->header()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_tree->header(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { m_tree->runMenu(m_columnsMenu, m_tree->header()->mapToGlobal(at)); });
    m_tree->setToolTipSource([this](const QModelIndex& index) { return rowToolTip(index); });
    if (m_services.mutes) {
        addMuteMenu(*m_services.mutes);
        connect(m_services.mutes, &MuteList::changed, this, &UserList::showMutes);
    }
    if (m_services.maintenance) {
        addMaintenanceMenu(*m_services.maintenance);
        connect(m_services.maintenance, &MaintenanceList::changed, this, &UserList::showMaintenances);
    }
    connect(m_tree, &UserListTreeWidget::detailsRequested, this, [this](const QString& ip) { showDetails(ip); });
    connect(m_tree, &UserListTreeWidget::traceRequested, this, [this](const QString& ip) { showDetails(ip, true); });
    connect(m_tree, &UserListTreeWidget::exportListRequested, this, &UserList::exportList);
    connect(m_tree, &UserListTreeWidget::pingRequested, this, [this](const QString& ip) {
        if (m_services.pingNow)
            m_services.pingNow(ip);
    });

    // Sorting is kept as "<column>,<a|d>"; none is the order the rows were added in.
    const QStringList sort = Settings::instance().deviceListSort.split(QLatin1Char(','));
    if (sort.size() == 2)
        m_tree->setSort(sort[0].toInt(), sort[1] == QLatin1String("d") ? Qt::DescendingOrder : Qt::AscendingOrder);
    connect(m_tree, &UserListTreeWidget::sortChanged, this, [](int column, Qt::SortOrder order) {
        Settings::instance().set(
            &Settings::deviceListSort,
            column < 0 ? QString() : QStringLiteral("%1,%2").arg(column).arg(order == Qt::DescendingOrder ? "d" : "a"));
    });

    m_filter->setObjectName(QStringLiteral("filterEdit"));
    //: The field that filters the device list by address and description
    m_filter->setPlaceholderText(tr("Filter"));
    // A placeholder is no name: a screen reader would announce an unnamed field.
    m_filter->setAccessibleName(tr("Filter"));
    m_filter->setClearButtonEnabled(true);
    m_stateFilter->setObjectName(QStringLiteral("stateFilter"));
    m_stateFilter->addItems({
        //: The state filter's choice that shows every device
        tr("All"),
        //: The state filter's choice that shows the connected devices
        tr("Connected"),
        //: The state filter's choice that shows the disconnected devices
        tr("Disconnected"),
        //: The state filter's choice that shows the connected devices that answer slowly
        tr("Slow"),
    });
    connect(m_filter, &QLineEdit::textChanged, this, &UserList::applyFilter);
    connect(m_shown, &DeviceListSortFilter::refiltered, this, &UserList::showFilterCount);
    connect(m_stateFilter, &QComboBox::currentIndexChanged, this, &UserList::applyFilter);
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        m_filter->setFocus(Qt::ShortcutFocusReason);
        m_filter->selectAll();
    });
    m_summary->setObjectName(QStringLiteral("summaryLabel"));
    m_placeholder->setObjectName(QStringLiteral("emptyListPlaceholder"));
    //: The quoted words name the buttons below the list
    m_placeholder->setText(tr("No devices yet.\n\n\"Add Device\" adds one by its address;\n"
                              "\"Discover Devices\" finds the devices of your network."));
    m_placeholder->setAlignment(Qt::AlignCenter);
    m_placeholder->setEnabled(false);
    m_viewport = m_tree->viewport();
    m_viewport->installEventFilter(this);

    auto* layout = new QVBoxLayout(this);
    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(m_filter, 1);
    // The label names the chooser for a screen reader too: on Linux, Qt takes a combo box's name
    // from the label it is the buddy of.
    //: The label of the chooser that filters the device list by state: All, Connected, ...
    auto* stateLabel = new QLabel(tr("Show"), this);
    stateLabel->setBuddy(m_stateFilter);
    filterRow->addWidget(stateLabel);
    filterRow->addWidget(m_stateFilter);
    // Tab goes as the eye reads: the filter row, then the list it filters. Qt leaves the order
    // as it is where the second already follows the first round the window's end, as the list
    // made first follows the chooser here: so the list goes after the filter, then the chooser
    // between them.
    setTabOrder(m_filter, m_tree);
    setTabOrder(m_filter, m_stateFilter);
    m_filterCount->setObjectName(QStringLiteral("filterCountLabel"));
    m_filterCount->hide();
    filterRow->addWidget(m_filterCount);
    layout->addLayout(filterRow);
    layout->addWidget(m_tree, 1);
    layout->addWidget(m_summary);
    m_summaryTimer.setSingleShot(true);
    m_summaryTimer.setInterval(250);
    connect(&m_summaryTimer, &QTimer::timeout, this, &UserList::refreshSummary);
    m_fitTimer.setSingleShot(true);
    m_fitTimer.setInterval(250);
    connect(&m_fitTimer, &QTimer::timeout, this, &UserList::fitColumns);
    refreshSummary();
    // The statistics cover an hour; a look every few seconds keeps them current at no cost
    // per probe result.
    connect(&m_statisticsTimer, &QTimer::timeout, this, &UserList::refreshStatistics);
    // Who is cut off is looked at anew when it changes, not at every refresh.
    if (m_services.reachability)
        connect(m_services.reachability, &ReachabilityView::reachabilityChanged, this, &UserList::showCutOffs);
    if (m_services.slow)
        connect(m_services.slow, &SlowView::slownessChanged, this, &UserList::slownessChanged);
    m_statisticsTimer.start(2000);
    fitColumns();
    // The rows the window fills the list with get their figures as soon as it shows.
    QTimer::singleShot(0, this, &UserList::refreshStatistics);
}

UserList::~UserList()
{
    // The tree goes with the widget's children, after this list has stopped being one: the
    // header's last resizes must not reach it.
    m_tree->header()->disconnect(this);
    // The rows ask the statistics for their texts: the view and its models go first.
    delete m_tree;
    delete m_shown;
    delete m_model;
}

void UserList::applyFilter()
{
    m_shown->setFilter(m_filter->text(), DeviceListSortFilter::StateShown(m_stateFilter->currentIndex()));
    showFilterCount();
}

void UserList::rowChanged(int row)
{
    m_shown->rowChanged(row);
    m_tree->sortSoon();
}

void UserList::showFilterCount()
{
    const int rows = m_model->rowCount();
    const int shown = m_shown->rowCount();
    //: %1: how many rows the filter shows, %n: how many rows the list has
    m_filterCount->setText(tr("%1 of %n shown", nullptr, rows).arg(shown));
    m_filterCount->setVisible(shown < rows);
}

void UserList::rowsChanged()
{
    m_placeholder->setVisible(m_model->rowCount() == 0);
    m_tree->sortSoon();
    refreshSummarySoon();
    fitColumnsSoon();
}

int UserList::lastShownColumn() const
{
    const QHeaderView* header = m_tree->header();
    for (int visual = header->count() - 1; visual >= 0; --visual) {
        if (!header->isSectionHidden(header->logicalIndex(visual)))
            return header->logicalIndex(visual);
    }
    return -1;
}

void UserList::refreshSummarySoon()
{
    // Not put off again by each change: while the first results of a long list stream in, the
    // line would otherwise wait for them all.
    if (!m_summaryTimer.isActive())
        m_summaryTimer.start();
}

void UserList::fitColumnsSoon()
{
    if (Settings::instance().columnWidths.isEmpty())
        m_fitTimer.start();
}

void UserList::fitColumns()
{
    fitColumnsFrom(AddressColumn);
}

void UserList::fitColumnsFrom(int first)
{
    // Until the user sets widths of their own, the text columns widen to show their header
    // and every text whole; they never narrow, so that they do not jump as results change.
    // The statistics columns measure the rows on screen only: their texts are worked out when
    // asked for, and measuring every row would ask every device's figures.
    if (!Settings::instance().columnWidths.isEmpty())
        return;
    m_fittingColumns = true;
    const QHeaderView* header = m_tree->header();
    for (int column = first; column < ColumnCount; ++column) {
        const int content = column >= LossColumn ? m_tree->shownContentWidth(column) : m_tree->contentWidth(column);
        const int needed = std::max(header->sectionSizeHint(column), content);
        if (needed > m_tree->columnWidth(column))
            m_tree->setColumnWidth(column, needed);
    }
    m_fittingColumns = false;
}

void UserList::refreshSummary()
{
    const DeviceSummary summary = DeviceSummary::of(
        Data::instance() ? Data::instance()->entries() : QList<DeviceEntry>(), m_services.slow);
    m_summary->setText(summary.text());
    showFilterCount();
    m_placeholder->setVisible(m_model->rowCount() == 0);
}

bool UserList::eventFilter(QObject* watched, QEvent* event)
{
    // The viewport gets its size after the list does, the more so when the list was sized
    // before it was first shown: the hint follows the viewport itself. The pointer kept, not
    // asked of the tree: the viewport still sends events while the tree is being destroyed.
    if (watched == m_viewport && event->type() == QEvent::Resize)
        m_placeholder->resize(static_cast<QResizeEvent*>(event)->size());
    return QWidget::eventFilter(watched, event);
}

void UserList::setFileChooser(SaveFileChooser::Chooser chooser)
{
    m_chooseFile = std::move(chooser);
}

void UserList::showColumns(const QString& hidden, const QString& shown)
{
    const QStringList hiddenNumbers = hidden.split(QLatin1Char(','), Qt::SkipEmptyParts);
    const QStringList shownNumbers = shown.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QAction* toggle : m_columnsMenu->actions()) {
        const int column = toggle->data().toInt();
        const QString number = QString::number(column);
        toggle->setChecked(column >= FirstOptionalColumn ? shownNumbers.contains(number)
                                                         : !hiddenNumbers.contains(number));
    }
}

QString UserList::columnNumbers(int first, int end, bool hidden) const
{
    QStringList numbers;
    for (int column = first; column < end; ++column) {
        if (m_tree->isColumnHidden(column) == hidden)
            numbers << QString::number(column);
    }
    return numbers.join(QLatin1Char(','));
}

void UserList::addMuteMenu(MuteList& mutes)
{
    QMenu* menu = m_tree->contextMenu();
    const QList<QAction*> actions = menu->actions();
    // Beside the other entries for the rows, before the separated "Remove".
    const auto separator = std::find_if(actions.cbegin(), actions.cend(),
                                        [](QAction* action) { return action->isSeparator(); });
    QAction* before = separator == actions.cend() ? nullptr : *separator;
    auto* mute = new QMenu(tr("Mute alerts"), menu);
    menu->insertMenu(before, mute);
    for (const auto& [text, hours] : {std::pair{QT_TRANSLATE_NOOP("Tarnwick::UserList", "For 1 hour"), 1},
                                      std::pair{QT_TRANSLATE_NOOP("Tarnwick::UserList", "For 8 hours"), 8},
                                      std::pair{QT_TRANSLATE_NOOP("Tarnwick::UserList", "Until unmuted"), 0}}) {
        connect(mute->addAction(tr(text)), &QAction::triggered, &mutes, [this, &mutes, hours = hours] {
            const QDateTime until = hours ? QDateTime::currentDateTimeUtc().addSecs(hours * 3600) : QDateTime();
            for (const QString& ip : m_tree->selectedAddresses())
                mutes.mute(ip, until);
        });
    }
    QAction* unmute = new QAction(tr("Unmute"), menu);
    menu->insertAction(before, unmute);
    connect(unmute, &QAction::triggered, &mutes, [this, &mutes] {
        for (const QString& ip : m_tree->selectedAddresses())
            mutes.unmute(ip);
    });
    connect(menu, &QMenu::aboutToShow, &mutes, [this, &mutes, unmute] {
        const QStringList selected = m_tree->selectedAddresses();
        unmute->setVisible(std::any_of(selected.cbegin(), selected.cend(),
                                       [&mutes](const QString& ip) { return mutes.mutedUntil(ip).has_value(); }));
    });
}

void UserList::showMutes()
{
    for (int row = 0; row < m_model->rowCount(); ++row)
        m_model->change(row, [this](Row& shown) { showMute(shown); });
    // The mark widens the description.
    fitColumnsSoon();
}

void UserList::showMute(Row& row) const
{
    if (m_services.mutes)
        row.muteToolTip = MuteMark::toolTip(m_services.mutes->heardAgainAt(row.ip), QDateTime::currentDateTimeUtc());
}

void UserList::addMaintenanceMenu(MaintenanceList& maintenance)
{
    QMenu* menu = m_tree->contextMenu();
    const QList<QAction*> actions = menu->actions();
    const auto separator = std::find_if(actions.cbegin(), actions.cend(),
                                        [](QAction* action) { return action->isSeparator(); });
    auto* open = new QAction(tr("Maintenance…"), menu);
    menu->insertAction(separator == actions.cend() ? nullptr : *separator, open);
    connect(open, &QAction::triggered, &maintenance, [this, &maintenance] {
        ModalDialog::open(new MaintenanceDialog(maintenance, m_tree->selectedAddresses()), this);
    });
}

void UserList::showMaintenances()
{
    for (int row = 0; row < m_model->rowCount(); ++row)
        m_model->change(row, [this](Row& shown) { showMaintenance(shown); });
    fitColumnsSoon();
}

void UserList::showMaintenance(Row& row) const
{
    if (m_services.maintenance)
        row.maintenanceToolTip = MaintenanceMark::toolTip(m_services.maintenance->maintenanceEnds(row.ip),
                                                          QDateTime::currentDateTimeUtc());
}

QString UserList::rowToolTip(const QModelIndex& index) const
{
    const QString ip = index.siblingAtColumn(AddressColumn).data().toString();
    const QString own = index.data(Qt::ToolTipRole).toString();
    const QString picture = sparkline(m_services.historyFile, ip);
    if (picture.isEmpty())
        return {};
    return QStringLiteral("<b>%1</b>%2%3")
        .arg(ip.toHtmlEscaped(), picture,
             own.isEmpty()
                 ? QString()
                 : QStringLiteral("<br>") + own.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>")));
}

void UserList::showDetails(const QString& ip, bool atPath)
{
    const int row = m_model->firstRowOf(ip);
    auto* dialog = new DeviceDetailsDialog(ip, row >= 0 ? m_model->row(row).description : QString(),
                                           m_services.historyFile, m_services.recordingProblem, this);
    dialog->setFileChooser(m_chooseFile);
    if (m_services.engine) {
        dialog->addPathTab(*m_services.engine, m_services.paths);
        if (atPath)
            dialog->showPath();
    }
    dialog->setObjectName(QStringLiteral("deviceDetailsDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowFlag(Qt::Window);
    dialog->show();
}

void UserList::exportList()
{
    const QString title = tr("Export device list");
    const QString fileName = m_chooseFile(this, title, QStringLiteral("devices.csv"));
    if (fileName.isEmpty())
        return;
    // Number columns hold numbers alone, or nothing; what the last probe came to has a column
    // of its own. Times are as every export writes them.
    // The columns the list has take their headers from it; the export adds the last answer,
    // the outcome, the check and the slowness, which the list shows as pictures or tooltips.
    const auto csvHeader = &Model::csvHeader;
    CsvDocument csv({csvHeader(AddressColumn), csvHeader(DescriptionColumn), csvHeader(Model::TypeColumn),
                     csvHeader(Model::StateColumn), csvHeader(ResultColumn), csvHeader(InformColumn),
                     csvHeader(LossColumn), csvHeader(AverageColumn), csvHeader(JitterColumn), csvHeader(SinceColumn),
                     QStringLiteral("Last seen (UTC)"), QStringLiteral("Outcome"), QStringLiteral("Check"),
                     QStringLiteral("Slow"), csvHeader(Model::MedianColumn), csvHeader(Model::Percentile95Column),
                     csvHeader(Model::DayMedianColumn), csvHeader(Model::DayPercentile95Column)});
    const QList<DeviceEntry> entries = Data::instance() ? Data::instance()->entries() : QList<DeviceEntry>();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const auto number = [](const std::optional<double>& value, int decimals) {
        return value ? QString::number(*value, 'f', decimals) : QString();
    };
    const auto time = &CsvDocument::time;
    for (const DeviceEntry& entry : entries) {
        const RowStatistics statistics = m_services.statistics ? m_services.statistics(entry.ip) : RowStatistics();
        const bool answered = probed(entry) && entry.lastProbe.answered();
        csv.addRow({entry.ip, entry.description, DeviceTypeName::of(entry.type),
                    !probed(entry)                            ? QStringLiteral("not yet probed")
                        : entry.state == DeviceStateConnected ? QStringLiteral("connected")
                                                              : QStringLiteral("disconnected"),
                    answered ? entry.pingResult : QString(),
                    QString::fromLatin1(Model::yesNo(entry.informOnStateChange)), number(statistics.lossPercent, 1),
                    number(statistics.averageMs, 2), number(statistics.jitterMs, 2),
                    time(m_stateSince.value(entry.ip, now)),
                    statistics.lastAnsweredMs ? time(*statistics.lastAnsweredMs) : QString(),
                    !probed(entry)                                     ? QString()
                        : answered                                     ? QStringLiteral("answered")
                        : entry.lastProbe.kind == ProbeResult::Present ? QStringLiteral("present, no echo reply")
                        : entry.lastProbe.kind == ProbeResult::SocketError && !entry.lastProbe.reason.isEmpty()
                        ? entry.lastProbe.reason
                        : QStringLiteral("no reply"),
                    entry.check.text(), probed(entry) ? QString::fromLatin1(Model::yesNo(isSlow(entry.ip))) : QString(),
                    number(statistics.medianMs, 2), number(statistics.percentile95Ms, 2),
                    number(statistics.dayMedianMs, 2), number(statistics.dayPercentile95Ms, 2)});
    }
    if (!csv.save(fileName)) {
        auto* box = new QMessageBox(QMessageBox::Warning, title, tr("\"%1\" could not be written.").arg(fileName),
                                    QMessageBox::Ok);
        box->setTextFormat(Qt::PlainText);
        ModalDialog::open(box, this);
    }
}

void UserList::refreshStatistics()
{
    m_statistics->refresh(QDateTime::currentMSecsSinceEpoch());
    m_model->statisticsChanged();
    // New figures may reorder a list sorted by them; "Since" keeps its order as time passes.
    if (m_tree->sortedColumn() >= LossColumn && m_tree->sortedColumn() != SinceColumn)
        m_tree->sortSoon();
    fitColumnsFrom(LossColumn);
}

void UserList::showCutOffs()
{
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const QString behind = cutOffBehind(m_model->row(row).ip);
        if (m_model->row(row).cutOffBehind != behind)
            m_model->change(row, [&behind](Row& shown) { showCutOff(shown, behind); });
    }
}

QString UserList::cutOffBehind(const QString& ip) const
{
    return m_services.reachability ? m_services.reachability->behindShown(ip) : QString();
}

void UserList::showCutOff(Row& row, const QString& behind)
{
    // Only a disconnected device can be cut off: the links are looked at a while after the
    // results come in, and a device that answers again must not wait for that.
    row.cutOffBehind = row.rank == Model::Disconnected ? behind : QString();
}

bool UserList::isSlow(const QString& ip) const
{
    return m_services.slow && m_services.slow->isSlow(ip);
}

void UserList::showSlow(Row& row) const
{
    // Only a connected device is judged slow; the other pictures are set with their state.
    if (row.rank == Model::Connected)
        row.slow = isSlow(row.ip);
}

void UserList::slownessChanged(const QString& ip)
{
    QMutexLocker lock(&m_mutex);
    for (const int row : m_model->rowsOf(ip)) {
        m_model->change(row, [this](Row& shown) { showSlow(shown); });
        m_shown->rowChanged(row);
    }
    refreshSummarySoon();
}

qint64 UserList::stateSinceMs(const QString& ip, int state, qint64 nowMs)
{
    if (m_services.historyFile.isEmpty())
        return nowMs;
    // Read once for all devices: their first results come in all together after the start.
    if (!m_lastChanges)
        m_lastChanges = HistoryReader(m_services.historyFile).lastStateChanges(nowMs + 1);
    const auto last = m_lastChanges->constFind(ip);
    return last != m_lastChanges->cend() && last->connected == (state == DeviceStateConnected) ? last->atMs : nowMs;
}

void UserList::selectDevice(const QString& ip)
{
    const QModelIndex row = m_shown->mapFromSource(m_model->index(m_model->firstRowOf(ip), 0));
    if (!row.isValid())
        return;
    m_tree->setCurrentIndex(row);
    m_tree->scrollTo(row);
}

UserList::Row UserList::rowFor(const DeviceEntry& entry)
{
    Row row;
    row.ip = entry.ip;
    row.addressKey = DeviceAddress::sortKey(entry.ip);
    row.hasAddress = entry.hasAddress();
    row.description = entry.description;
    row.type = entry.type;
    row.typePicture = DevicePictures::forType(entry.type);
    row.inform = entry.informOnStateChange;
    std::tie(row.statePicture, row.rank) = stateOf(entry);
    row.result = resultShown(entry);
    row.roundTripMs = roundTripOf(row.result, entry.lastProbe);
    row.resultToolTip = resultToolTip(entry);
    if (!m_stateSince.contains(entry.ip))
        m_stateSince.insert(entry.ip, QDateTime::currentMSecsSinceEpoch());
    row.sinceMs = m_stateSince.value(entry.ip);
    showCutOff(row, cutOffBehind(entry.ip));
    showMute(row);
    showMaintenance(row);
    showSlow(row);
    return row;
}

void UserList::addEntryRow(const DeviceEntry& entry)
{
    addEntryRows({entry});
}

void UserList::addEntryRows(const QList<DeviceEntry>& entries)
{
    QList<Row> rows;
    rows.reserve(entries.size());
    for (const DeviceEntry& entry : entries)
        rows << rowFor(entry);
    m_model->append(rows);
    rowsChanged();
}

void UserList::DeviceAdded(DeviceAddedEvent* pEvent)
{
    QMutexLocker lock(&m_mutex);
    addEntryRow(pEvent->entry());
}

void UserList::DeviceRemoved(DeviceRemovedEvent* pEvent)
{
    QMutexLocker lock(&m_mutex);
    const int row = m_model->firstRowOf(pEvent->entry().ip);
    if (row < 0)
        return;
    m_model->removeRowAt(row);
    rowsChanged();
}

void UserList::DeviceEntryChanged(DeviceEntryChangedEvent* pEvent)
{
    QMutexLocker lock(&m_mutex);
    const DeviceEntry& after = pEvent->newEntry();
    const DeviceEntry& before = pEvent->oldEntry();
    // Rows keep the address they were added with; the entry is found by its old address.
    const int row = m_model->firstRowOf(before.ip);
    if (row < 0)
        return;
    const bool stateChanged = after.state != before.state || after.awaitingFirstResult != before.awaitingFirstResult;
    if (stateChanged) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        if (before.awaitingFirstResult && !after.awaitingFirstResult)
            // The first result since start: the state may well be the one the device had
            // when the program last ran.
            m_stateSince.insert(before.ip, stateSinceMs(before.ip, after.state, now));
        else if (after.state != before.state)
            m_stateSince.insert(before.ip, now);
    }
    m_model->change(row, [&](Row& shown) {
        shown.result = resultShown(after);
        shown.roundTripMs = roundTripOf(shown.result, after.lastProbe);
        shown.resultToolTip = resultToolTip(after);
        shown.description = after.description;
        shown.type = after.type;
        // A type without a picture of its own leaves the one shown.
        if (const QString picture = DevicePictures::forType(after.type); !picture.isEmpty())
            shown.typePicture = picture;
        shown.inform = after.informOnStateChange;
        if (!stateChanged)
            return;
        shown.sinceMs = m_stateSince.value(before.ip, shown.sinceMs);
        const auto [picture, rank] = stateOf(after);
        shown.rank = rank;
        if (!picture.isEmpty())
            shown.statePicture = picture;
        shown.slow = false; // the picture bears no mark now, until the slowness is told again
        // The picture now shows the new state as it is; whether it is cut off behind another
        // is looked at anew.
        showCutOff(shown, cutOffBehind(before.ip));
    });
    if (stateChanged || after.description != before.description)
        refreshSummarySoon();
    if (after.description != before.description)
        fitColumnsSoon();
    rowChanged(row);
}

} // namespace Tarnwick
