// SPDX-License-Identifier: GPL-3.0-or-later
#include "SlowLimitsField.h"

#include "SlowLimitBox.h"
#include "data/Settings.h"

#include <QHBoxLayout>
#include <QLabel>

#include <algorithm>

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
    m_average->setToolTip(QStringLiteral("0: never slow by its round trip"));
    m_loss->setToolTip(QStringLiteral("0: never slow by its loss"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(QStringLiteral("the average round trip exceeds"), this));
    layout->addWidget(m_average);
    layout->addWidget(new QLabel(QStringLiteral("ms or loss exceeds"), this));
    layout->addWidget(m_loss);
    layout->addWidget(new QLabel(QStringLiteral("% over the last"), this));
    layout->addWidget(m_results);
    layout->addWidget(new QLabel(QStringLiteral("results"), this));
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
