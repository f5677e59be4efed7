// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceDetailsDialog.h"

#include "HistoryGraph.h"
#include "PathView.h"
#include "WarningLabelColour.h"
#include "data/CheckRound.h"
#include "data/CsvDocument.h"
#include "data/Data.h"
#include "data/PhraseBook.h"
#include "data/Settings.h"
#include "history/HistoryReader.h"
#include "net/ProbeRate.h"

#include <QButtonGroup>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace Tarnwick {

namespace {

constexpr qint64 MinuteMs = 60000;

struct RangeShape
{
    const char* label;
    const char* objectName;
    qint64 spanMs;
    int bucketMinutes;
};

// Each range in 60 to 180 buckets, so that a bucket is a few pixels wide.
constexpr RangeShape Ranges[] = {
    //: A range of the history: the last hour
    {QT_TRANSLATE_NOOP("Tarnwick::DeviceDetailsDialog", "1 h"), "range1h", 60 * MinuteMs, 1},
    //: A range of the history: the last 24 hours
    {QT_TRANSLATE_NOOP("Tarnwick::DeviceDetailsDialog", "24 h"), "range24h", 24 * 60 * MinuteMs, 10},
    //: A range of the history: the last 7 days
    {QT_TRANSLATE_NOOP("Tarnwick::DeviceDetailsDialog", "7 d"), "range7d", 7 * 24 * 60 * MinuteMs, 60},
    //: A range of the history: the last 30 days
    {QT_TRANSLATE_NOOP("Tarnwick::DeviceDetailsDialog", "30 d"), "range30d", 30 * 24 * 60 * MinuteMs, 240},
};

// The outcome column of the exported file, which is data: never translated.
QString outcomeText(ProbeResult::Kind outcome)
{
    switch (outcome) {
    case ProbeResult::Reply:
        return QStringLiteral("answered");
    case ProbeResult::Timeout:
        return QStringLiteral("no reply");
    case ProbeResult::Present:
        return QStringLiteral("present, no echo reply");
    case ProbeResult::SocketError:
        return QStringLiteral("socket error");
    }
    return {};
}

QString milliseconds(qint64 us)
{
    return QString::number(double(us) / 1000.0, 'f', 3);
}

} // namespace

DeviceDetailsDialog::DeviceDetailsDialog(const QString& ip, const QString& description, const QString& historyFile,
                                         std::function<QString()> recordingProblem, QWidget* parent)
    : QDialog(parent)
    , m_ip(ip)
    , m_reader(std::make_unique<HistoryReader>(historyFile))
    , m_recordingProblem(std::move(recordingProblem))
    , m_ranges(new QButtonGroup(this))
    , m_summary(new QLabel(this))
    , m_echoOptions(new QLabel(this))
    , m_status(new QLabel(this))
    , m_recording(new QLabel(this))
    , m_graph(new HistoryGraph(this))
    , m_tabs(new QTabWidget(this))
{
    //: %1: the device's address
    setWindowTitle(tr("Details - %1").arg(ip));
    m_summary->setObjectName(QStringLiteral("summaryLabel"));
    m_status->setObjectName(QStringLiteral("statusLabel"));
    m_echoOptions->setObjectName(QStringLiteral("echoOptionsLabel"));
    m_echoOptions->hide();
    m_graph->setObjectName(QStringLiteral("historyGraph"));
    m_recording->setObjectName(QStringLiteral("recordingLabel"));
    m_recording->setTextFormat(Qt::PlainText);
    m_recording->setWordWrap(true);
    WarningLabelColour::keep(m_recording);
    m_recording->hide();

    auto* layout = new QVBoxLayout(this);
    //: %1: the device's address, %2: its description
    auto* heading = new QLabel(description.isEmpty() ? ip : tr("%1 - %2").arg(ip, description), this);
    // A description is the user's text, never markup.
    heading->setTextFormat(Qt::PlainText);
    heading->setObjectName(QStringLiteral("headingLabel"));
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout->addWidget(heading);
    layout->addWidget(m_echoOptions);
    auto* rangeRow = new QHBoxLayout;
    for (int i = 0; i < int(std::size(Ranges)); ++i) {
        auto* button = new QToolButton(this);
        button->setText(tr(Ranges[i].label));
        button->setObjectName(QString::fromLatin1(Ranges[i].objectName));
        button->setCheckable(true);
        m_ranges->addButton(button, i);
        rangeRow->addWidget(button);
    }
    m_ranges->button(LastHour)->setChecked(true);
    rangeRow->addStretch(1);
    auto* history = new QWidget(m_tabs);
    auto* historyLayout = new QVBoxLayout(history);
    historyLayout->addLayout(rangeRow);
    historyLayout->addWidget(m_graph, 1);
    historyLayout->addWidget(m_summary);
    historyLayout->addWidget(m_recording);
    m_tabs->setObjectName(QStringLiteral("detailsTabs"));
    //: A tab of a device's details: its results over time
    m_tabs->addTab(history, tr("History"));
    // One page alone needs no tab to choose it.
    m_tabs->tabBar()->hide();
    layout->addWidget(m_tabs, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_status, 1);
    auto* exportButton = new QPushButton(tr("Export CSV..."), this);
    exportButton->setObjectName(QStringLiteral("exportButton"));
    exportButton->setToolTip(tr("Every result of the range one by one, as far back as they are kept (a day)"));
    auto* closeButton = new QPushButton(tr("Close"), this);
    buttons->addWidget(exportButton);
    buttons->addWidget(closeButton);
    layout->addLayout(buttons);

    connect(m_ranges, &QButtonGroup::idClicked, this, [this](int id) { setRange(Range(id)); });
    connect(exportButton, &QPushButton::clicked, this, &DeviceDetailsDialog::exportResults);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
    // The history takes in results about once a second; a look every few seconds follows it.
    connect(&m_refreshTimer, &QTimer::timeout, this, &DeviceDetailsDialog::refresh);
    m_refreshTimer.start(5000);
    resize(640, 400);
    refresh();
}

DeviceDetailsDialog::~DeviceDetailsDialog() = default;

void DeviceDetailsDialog::addPathTab(ProbeEngine& engine, const DevicePaths* paths)
{
    if (m_path)
        return;
    m_path = new PathView(m_ip, engine, paths, m_tabs);
    m_path->setObjectName(QStringLiteral("pathView"));
    //: A tab of a device's details: the routers on the way to it
    m_tabs->addTab(m_path, tr("Path"));
    m_tabs->tabBar()->show();
}

void DeviceDetailsDialog::showPath()
{
    if (m_path)
        m_tabs->setCurrentWidget(m_path);
}

void DeviceDetailsDialog::setRange(Range range)
{
    m_range = range;
    m_ranges->button(range)->setChecked(true);
    refresh();
}

void DeviceDetailsDialog::refresh()
{
    const RangeShape& shape = Ranges[m_range];
    HistoryGraph::Series series;
    series.toMs = QDateTime::currentMSecsSinceEpoch();
    series.fromMs = series.toMs - shape.spanMs;
    series.bucketMs = shape.bucketMinutes * MinuteMs;
    series.buckets = m_reader->buckets(m_ip, series.fromMs, series.toMs, shape.bucketMinutes);
    series.changes = m_reader->stateChanges(m_ip, series.fromMs, series.toMs);
    series.slowChanges = m_reader->slowChanges(m_ip, series.fromMs, series.toMs);
    if (const auto before = m_reader->lastStateChange(m_ip, series.fromMs))
        series.connectedBefore = before->connected;
    series.slowBefore = m_reader->slowBefore(m_ip, series.fromMs);
    // As the monitor probes now: each device once a period, or one after another, each taking
    // its gap and at most the time-out.
    const Settings& settings = Settings::instance();
    const qint64 devices = Data::instance() ? std::max<qint64>(1, Data::instance()->entries().size()) : 1;
    series.quietMs = settings.probePeriod.load() > 0
        ? ProbeRate::effectivePeriodMs(devices, qint64(settings.probePeriod.load()) * 1000,
                                       ProbeRate::ceilingOf(settings))
        : devices * (qint64(settings.pingTimeGap.load()) + settings.pingTimeout.load());
    m_graph->setSeries(series);

    const QString problem = m_recordingProblem ? m_recordingProblem() : QString();
    //: %1: why the history cannot be written
    m_recording->setText(
        tr("Recording has stopped: %1. Results are kept and written once the history can be written again.")
            .arg(PhraseBook::translate(problem)));
    m_recording->setVisible(!problem.isEmpty());

    if (const Data* store = Data::instance()) {
        const DeviceEntry entry = store->entry(m_ip);
        m_echoOptions->setText(entry.check.kind == DeviceCheck::Echo ? PhraseBook::translate(entry.echo.text())
                                                                     : QString());
        m_echoOptions->setVisible(!m_echoOptions->text().isEmpty());
    }

    qint64 sent = 0, received = 0, sumUs = 0, leastUs = -1, mostUs = 0;
    LatencySketch spread;
    for (const HistoryReader::Bucket& b : series.buckets) {
        spread.merge(b.sketch);
        sent += b.sent;
        received += b.received;
        sumUs += b.sumUs;
        mostUs = std::max(mostUs, b.maxUs);
        if (b.received > 0)
            leastUs = leastUs < 0 ? b.minUs : std::min(leastUs, b.minUs);
    }
    if (sent == 0) {
        m_summary->setText(tr("No results in this range"));
        return;
    }
    // A TCP check sends nothing of its own: it tries a connection, which is made or fails.
    const Data* store = Data::instance();
    const bool tcp = store && store->entry(m_ip).check.kind == DeviceCheck::TcpPort;
    //: %1: connections tried, %2: made, %3: the share that failed in per cent
    const QString tried = tr("Connections tried %1, made %2 (failed %3 %)");
    //: %1: requests sent, %2: replies received, %3: the share lost in per cent
    const QString sentReceived = tr("Sent %1, received %2 (loss %3 %)");
    QString text = (tcp ? tried : sentReceived)
                       .arg(sent)
                       .arg(received)
                       .arg(100.0 * double(sent - received) / double(sent), 0, 'f', 2);
    if (received > 0)
        //: Goes on the summary's first clause: round trips in milliseconds
        text += tr("; round trip %1 ms on average, from %2 to %3 ms")
                    .arg(milliseconds(sumUs / received), milliseconds(leastUs), milliseconds(mostUs));
    // Only minutes recorded since the history keeps the spread of round trips have one; a
    // figure is held to the range's least and most round trip, which a damaged sketch may not be.
    const auto within = [&](double q) { return *spread.quantileWithinUs(q, leastUs, mostUs); };
    if (!spread.isEmpty() && received > 0)
        //: Goes on the summary: half the round trips were under %1 ms, 95 per cent under %2 ms
        text += tr("; median %1 ms, 95 % under %2 ms").arg(milliseconds(within(0.5)), milliseconds(within(0.95)));
    // Why the last probe failed, where the network said so: the history keeps no reasons.
    if (store) {
        const DeviceEntry entry = store->entry(m_ip);
        if (!entry.lastProbe.reason.isEmpty()) {
            //: %1: why the last probe failed
            text += QLatin1Char('\n') + tr("Last probe: %1").arg(PhraseBook::translate(entry.lastProbe.reason));
        }
        // Each further check by name with its last result, but for those the last probe names
        // already; these figures are the first check's.
        QStringList more = CheckRound::furtherResults(entry.moreChecks, entry.moreProbes, entry.lastProbe);
        for (QString& line : more)
            line = PhraseBook::translate(line);
        if (!entry.moreChecks.isEmpty()) {
            const QString first = PhraseBook::translate(entry.check.shortText());
            //: %1: the device's first check (for example "tcp:443")
            const QString firstOnly = tr("These figures are of the %1 check");
            //: %1: the device's first check, %2: the further checks, each with its last result
            const QString withFurther = tr("These figures are of the %1 check; further checks: %2");
            text += QLatin1Char('\n')
                + (more.isEmpty() ? firstOnly.arg(first) : withFurther.arg(first, more.join(QStringLiteral("; "))));
        }
    }
    m_summary->setText(text);
}

void DeviceDetailsDialog::exportResults()
{
    const QString suggested = QStringLiteral("%1-%2.csv").arg(m_ip, QString::fromLatin1(Ranges[m_range].objectName));
    //: The title of the file dialog that saves the results as CSV
    const QString fileName = m_chooseFile(this, tr("Export results"), suggested);
    if (fileName.isEmpty())
        return;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const QList<ProbeRecord> results = m_reader->results(m_ip, now - Ranges[m_range].spanMs, now + 1);
    CsvDocument csv({QStringLiteral("Time (UTC)"), QStringLiteral("Address"), QStringLiteral("Outcome"),
                     QStringLiteral("Round trip (ms)")});
    for (const ProbeRecord& r : results)
        csv.addRow({CsvDocument::time(r.atMs), r.device, outcomeText(r.result.kind),
                    r.result.answered() ? milliseconds(r.result.roundTripUs) : QString()});
    if (csv.save(fileName)) {
        //: %n: the number of results, %1: the file's name
        m_status->setText(tr("%n results written to \"%1\"", nullptr, int(results.size())).arg(fileName));
    } else {
        //: %1: the file's name
        m_status->setText(tr("\"%1\" could not be written").arg(fileName));
    }
}

} // namespace Tarnwick
