// SPDX-License-Identifier: GPL-3.0-or-later
#include "EchoOptionsField.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace Tarnwick {

namespace {

// Below the sizes: the spin box shows it as "Each keeps its own" until a size is set.
constexpr int EachOwnSize = -1;

} // namespace

EchoOptionsField::EchoOptionsField(QWidget* parent)
    : QWidget(parent)
    , m_fold(new QToolButton(this))
    , m_content(new QWidget(this))
    , m_payloadSize(new QSpinBox(m_content))
    //: The IP header's "don't fragment" flag of the echo requests
    , m_dontFragment(new QCheckBox(tr("Don't fragment"), m_content))
    , m_note(new QLabel(tr("Only an ICMP echo check sends echo requests."), m_content))
{
    m_fold->setObjectName(QStringLiteral("advancedFold"));
    m_payloadSize->setObjectName(QStringLiteral("payloadSizeSpin"));
    m_dontFragment->setObjectName(QStringLiteral("dontFragmentCheckBox"));
    m_note->setObjectName(QStringLiteral("echoOptionsNote"));
    //: The fold of the device dialogs that holds the echo request options
    m_fold->setText(tr("Advanced"));
    m_fold->setCheckable(true);
    m_fold->setAutoRaise(true);
    m_fold->setArrowType(Qt::RightArrow);
    m_fold->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_payloadSize->setRange(0, EchoOptions::MaxPayloadSize);
    m_payloadSize->setValue(EchoOptions::DefaultPayloadSize);
    m_payloadSize->setToolTip(
        tr("Bytes of data in each echo request; %1 unless changed").arg(EchoOptions::DefaultPayloadSize));
    m_dontFragment->setToolTip(tr("A request larger than the path carries fails with the path's MTU"));
    m_note->setWordWrap(true);
    m_note->hide();
    auto* fields = new QGridLayout(m_content);
    fields->setContentsMargins(0, 0, 0, 0);
    auto* payloadLabel = new QLabel(tr("Payload size (bytes)"), m_content);
    payloadLabel->setBuddy(m_payloadSize);
    fields->addWidget(payloadLabel, 0, 0);
    fields->addWidget(m_payloadSize, 0, 1);
    fields->addWidget(m_dontFragment, 1, 0, 1, 2);
    fields->addWidget(m_note, 2, 0, 1, 3);
    fields->setColumnStretch(2, 1);
    m_content->hide();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_fold, 0, Qt::AlignLeft);
    layout->addWidget(m_content);
    connect(m_fold, &QToolButton::toggled, this, [this](bool open) {
        m_fold->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        m_content->setVisible(open);
    });
}

void EchoOptionsField::setOptions(const QList<EchoOptions>& options)
{
    if (options.isEmpty())
        return;
    // Open where an entry has options of its own, so that they are seen.
    m_fold->setChecked(
        std::any_of(options.begin(), options.end(), [](const EchoOptions& each) { return !each.isDefault(); }));
    const EchoOptions& first = options.first();
    const auto alike = [&](auto field) {
        return std::all_of(options.begin(), options.end(),
                           [&](const EchoOptions& each) { return each.*field == first.*field; });
    };
    if (alike(&EchoOptions::payloadSize)) {
        m_payloadSize->setValue(first.payloadSize);
    } else {
        m_payloadSize->setMinimum(EachOwnSize);
        //: Several devices edited at once: each keeps the payload size it has
        m_payloadSize->setSpecialValueText(tr("Each keeps its own"));
        m_payloadSize->setValue(EachOwnSize);
    }
    if (alike(&EchoOptions::dontFragment)) {
        m_dontFragment->setChecked(first.dontFragment);
    } else {
        m_dontFragment->setTristate(true);
        m_dontFragment->setCheckState(Qt::PartiallyChecked);
    }
}

EchoOptions EchoOptionsField::appliedTo(const EchoOptions& own) const
{
    EchoOptions applied = own;
    if (m_payloadSize->value() != EachOwnSize)
        applied.payloadSize = std::uint16_t(m_payloadSize->value());
    if (m_dontFragment->checkState() != Qt::PartiallyChecked)
        applied.dontFragment = m_dontFragment->isChecked();
    return applied;
}

void EchoOptionsField::setForEcho(bool echo)
{
    m_payloadSize->setEnabled(echo);
    m_dontFragment->setEnabled(echo);
    m_note->setVisible(!echo);
}

} // namespace Tarnwick
