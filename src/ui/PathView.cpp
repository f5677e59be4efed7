// SPDX-License-Identifier: GPL-3.0-or-later
#include "PathView.h"

#include "data/Data.h"
#include "data/DevicePaths.h"
#include "data/PhraseBook.h"
#include "net/NameResolver.h"
#include "net/PathTrace.h"
#include "net/ProbeEngine.h"

#include <QDateTime>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace Tarnwick {

namespace {

const char* const ColumnNames[] = {
    //: A column of the details' "Path" tab: the hop's number on the way
    QT_TRANSLATE_NOOP("Tarnwick::PathView", "Hop"),
    QT_TRANSLATE_NOOP("Tarnwick::PathView", "Address"),
    //: Share of requests without an answer, in percent
    QT_TRANSLATE_NOOP("Tarnwick::PathView", "Loss (%)"),
    //: Requests sent to the hop
    QT_TRANSLATE_NOOP("Tarnwick::PathView", "Sent"),
    QT_TRANSLATE_NOOP("Tarnwick::PathView", "Last (ms)"),
    QT_TRANSLATE_NOOP("Tarnwick::PathView", "Avg (ms)"),
    QT_TRANSLATE_NOOP("Tarnwick::PathView", "Best (ms)"),
    QT_TRANSLATE_NOOP("Tarnwick::PathView", "Worst (ms)"),
};
static_assert(std::size(ColumnNames) == PathView::ColumnCount);

QString milliseconds(const std::optional<double>& ms)
{
    return ms ? QLocale().toString(*ms, 'f', 2) : QString();
}

} // namespace

PathView::PathView(const QString& ip, ProbeEngine& engine, const DevicePaths* paths, QWidget* parent)
    : QWidget(parent)
    , m_ip(ip)
    , m_engine(engine)
    , m_paths(paths)
    , m_known(new QLabel(this))
    , m_table(new QTreeWidget(this))
    , m_status(new QLabel(this))
{
    m_known->setObjectName(QStringLiteral("knownPathLabel"));
    m_known->setTextFormat(Qt::PlainText);
    m_known->setWordWrap(true);
    m_table->setObjectName(QStringLiteral("hopTable"));
    m_table->setRootIsDecorated(false);
    m_table->setUniformRowHeights(true);
    m_table->setColumnCount(ColumnCount);
    QStringList headers;
    for (const char* name : ColumnNames)
        headers << tr(name);
    m_table->setHeaderLabels(headers);
    m_table->header()->setSectionResizeMode(HopColumn, QHeaderView::ResizeToContents);
    m_table->header()->setSectionResizeMode(AddressColumn, QHeaderView::Stretch);
    m_table->header()->setStretchLastSection(false);
    m_table->setAccessibleName(tr("Hops"));
    m_status->setObjectName(QStringLiteral("pathStatusLabel"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_known);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_status);
    m_nextRound.setSingleShot(true);
    connect(&m_nextRound, &QTimer::timeout, this, &PathView::startRound);
    if (m_paths)
        connect(m_paths, &DevicePaths::pathsChanged, this, &PathView::showKnownWay);
    showKnownWay();
    m_status->setText(tr("Tracing..."));
}

PathView::~PathView()
{
    m_mailbox.close();
}

void PathView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_trace && !m_nextRound.isActive())
        startRound();
}

void PathView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // Only while it shows: a trace costs the routers on the way answers of their own.
    m_nextRound.stop();
    m_trace.reset();
}

void PathView::startRound()
{
    if (m_address) {
        traceTo(*m_address);
        return;
    }
    if (m_resolving)
        return;
    if (const NameResolver::Address numeric = NameResolver::numeric(m_ip)) {
        m_address = numeric;
        traceTo(*numeric);
        return;
    }
    m_resolving = true;
    m_engine.resolver().resolve(m_ip, 5000, [mailbox = m_mailbox](const NameResolver::Outcome& outcome) {
        mailbox.post([outcome](PathView& view) {
            view.m_resolving = false;
            if (!outcome.address) {
                view.m_status->setText(PhraseBook::translate(outcome.failure.isEmpty() ? NameResolver::noAnswerInTime()
                                                                                       : outcome.failure));
                view.m_nextRound.start(RoundMs);
                return;
            }
            view.m_address = outcome.address;
            if (view.isVisible())
                view.traceTo(*outcome.address);
        });
    });
}

void PathView::traceTo(const IpAddress& address)
{
    PathTrace::Options options;
    // One request a hop each round, as mtr sends them: the figures come from the rounds.
    options.probesPerHop = 1;
    m_trace = std::make_unique<PathTrace>(m_engine, address, options);
    connect(m_trace.get(), &PathTrace::finished, this, [this] {
        // Not from within the trace's own signal.
        QMetaObject::invokeMethod(this, &PathView::roundFinished, Qt::QueuedConnection);
    });
    m_trace->start();
    m_roundStarted.start();
}

void PathView::roundFinished()
{
    if (!m_trace)
        return;
    m_statistics.addRound(m_trace->hops());
    const TraceHops::End end = m_trace->hops().end();
    const QString destination = m_trace->hops().destination();
    const int maxHops = m_trace->hops().maxHops();
    m_trace.reset();
    showHops();
    switch (end) {
    case TraceHops::End::Reached:
        //: %n: how many rounds of requests the figures are of
        m_status->setText(tr("Traced every second; the figures of the last %n rounds.", "", m_statistics.rounds()));
        break;
    case TraceHops::End::Unreachable:
        m_status->setText(tr("A router says %1 cannot be reached.").arg(destination));
        break;
    case TraceHops::End::NotSent:
    case TraceHops::End::HopsUsedUp:
    case TraceHops::End::Open:
        m_status->setText(tr("No answer from %1 within %2 hops.").arg(destination).arg(maxHops));
        break;
    }
    // A round every second, counted from the start of the last.
    m_nextRound.start(int(std::clamp<qint64>(RoundMs - m_roundStarted.elapsed(), 0, RoundMs)));
}

void PathView::showHops()
{
    const QList<PathHopStatistics::Hop> hops = m_statistics.hops();
    while (m_table->topLevelItemCount() > hops.size())
        delete m_table->takeTopLevelItem(m_table->topLevelItemCount() - 1);
    for (qsizetype i = 0; i < hops.size(); ++i) {
        QTreeWidgetItem* row = m_table->topLevelItem(int(i));
        if (!row)
            row = new QTreeWidgetItem(m_table);
        const PathHopStatistics::Hop& hop = hops.at(i);
        row->setText(HopColumn, QString::number(i + 1));
        row->setTextAlignment(HopColumn, Qt::AlignRight | Qt::AlignVCenter);
        // A device of the list is shown by its name too.
        const Data* store = Data::instance();
        const QString description = store && !hop.address.isEmpty() ? store->entry(hop.address).description : QString();
        row->setText(AddressColumn,
                     hop.address.isEmpty()       ? QStringLiteral("*")
                         : description.isEmpty() ? hop.address
                                                 : hop.address + QLatin1Char(' ') + description);
        row->setText(LossColumn, QLocale().toString(hop.lossPercent(), 'f', 0));
        row->setText(SentColumn, QString::number(hop.sent));
        row->setText(LastColumn, milliseconds(hop.lastMs));
        row->setText(AverageColumn, milliseconds(hop.averageMs));
        row->setText(BestColumn, milliseconds(hop.bestMs));
        row->setText(WorstColumn, milliseconds(hop.worstMs));
        for (int column = LossColumn; column < ColumnCount; ++column)
            row->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
    }
}

void PathView::showKnownWay()
{
    const DevicePath* known = m_paths ? m_paths->path(m_ip) : nullptr;
    if (!known) {
        m_known->setText(tr("The path watch has not traced this device yet."));
        return;
    }
    const QString since = QLocale().toString(QDateTime::fromMSecsSinceEpoch(known->sinceMs), QLocale::ShortFormat);
    //: %1: since when, %2: the routers ("via 10.0.0.1, 10.0.1.1" or "directly")
    QString text = tr("The path watch knows this way since %1: %2")
                       .arg(since, PhraseBook::translate(DevicePath::viaText(known->routers)));
    const Data* store = Data::instance();
    const QString parent = store
        ? m_paths->learntParent(m_ip, [store](const QString& ip) { return store->contains(ip); })
        : QString();
    if (!parent.isEmpty()) {
        const QString named = (parent + QLatin1Char(' ') + store->entry(parent).description).trimmed();
        //: %1: the nearest device of the list on the way to this one, with its description
        text += QLatin1Char('\n')
            + tr("It counts as behind %1 unless a line drawn on the map says otherwise.").arg(named);
    }
    m_known->setText(text);
}

} // namespace Tarnwick
