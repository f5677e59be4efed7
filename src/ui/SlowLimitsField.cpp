// SPDX-License-Identifier: GPL-3.0-or-later
#include "SlowLimitsField.h"

#include "SlowLimitBox.h"
#include "data/Settings.h"

#include <QGridLayout>
#include <QLabel>

#include <algorithm>
#include <utility>

namespace Tarnwick {

namespace {

// One box of the row: starts at the limit the entries share, or keeps each one's.
void showLimit(SlowLimitBox* box, const QList<DeviceEntry>& entries, std::optional<int> DeviceEntry::SlowLimits::*limit)
{
    const std::optional<int> first = entries.first().slowLimits.*limit;
    if (std::all_of(entries.begin(), entries.end(),
                    [&](const DeviceEntry& entry) { return entry.slowLimits.*limit == first; }))
        box->setLimit(first);
    else
        box->setKept();
}

std::optional<int> applied(const SlowLimitBox* box, const std::optional<int>& own)
{
    return box->kept() ? own : box->limit();
}

} // namespace

SlowLimitsField::SlowLimitsField(QWidget* parent)
    : QWidget(parent)
    , m_average(new SlowLimitBox(0, Settings::MaxMilliseconds, this))
    , m_loss(new SlowLimitBox(0, 100, this))
    , m_results(new SlowLimitBox(1, Settings::MaxSlowResults, this))
{
    m_average->setObjectName(QStringLiteral("slowAverageSpin"));
    m_loss->setObjectName(QStringLiteral("slowLossSpin"));
    m_results->setObjectName(QStringLiteral("slowResultsSpin"));
    m_average->setToolTip(tr("0: never slow by its round trip"));
    m_loss->setToolTip(tr("0: never slow by its loss"));
    // One line a limit, so that the row reads whole at the dialog's usual width.
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // Each line reads as one sentence: the text before the box, the number, the text after it.
    const QList<std::pair<QString, QString>> texts = {
        {tr("Average round trip above"),
         //: Unit after the round trip limit: milliseconds
         tr("ms")},
        {tr("or loss above"),
         //: Unit after the loss limit: per cent
         tr("%")},
        {tr("over the last"),
         //: After the number of results a device is judged over ("over the last 20 results")
         tr("results")}};
    const QList<SlowLimitBox*> boxes = {m_average, m_loss, m_results};
    for (int row = 0; row < 3; ++row) {
        // The text before the box names it for a screen reader too.
        auto* before = new QLabel(texts[row].first, this);
        before->setBuddy(boxes[row]);
        layout->addWidget(before, row, 0);
        layout->addWidget(boxes[row], row, 1);
        layout->addWidget(new QLabel(texts[row].second, this), row, 2);
    }
    layout->setColumnStretch(2, 1);
}

void SlowLimitsField::setLimits(const QList<DeviceEntry>& entries)
{
    if (entries.isEmpty())
        return;
    showLimit(m_average, entries, &DeviceEntry::SlowLimits::averageMs);
    showLimit(m_loss, entries, &DeviceEntry::SlowLimits::lossPercent);
    showLimit(m_results, entries, &DeviceEntry::SlowLimits::results);
}

DeviceEntry::SlowLimits SlowLimitsField::appliedTo(const DeviceEntry::SlowLimits& own) const
{
    return {applied(m_average, own.averageMs), applied(m_loss, own.lossPercent), applied(m_results, own.results)};
}

} // namespace Tarnwick
