// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceCheckField.h"

#include "data/DeviceAddress.h"
#include "data/PhraseBook.h"
#include "net/LocalLinks.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QSpinBox>

#include <algorithm>

#include <arpa/inet.h>

namespace Tarnwick {

namespace {

constexpr int DefaultPort = 80;

// Whether ARP can ask an IPv4 address: one on a directly connected Ethernet network. A host name
// is resolved only when probed, so it gets the benefit of the doubt.
bool arpReaches(const QString& address)
{
    in_addr host{};
    if (::inet_pton(AF_INET, address.toLatin1().constData(), &host) != 1)
        return true;
    return LocalLinks::current().linkFor(host.s_addr).has_value();
}

} // namespace

DeviceCheckField::DeviceCheckField(QWidget* parent)
    : QWidget(parent)
    , m_kind(new QComboBox(this))
    , m_port(new QSpinBox(this))
    , m_note(new QLabel(this))
{
    m_kind->setObjectName(QStringLiteral("checkCombo"));
    m_port->setObjectName(QStringLiteral("portSpin"));
    m_note->setObjectName(QStringLiteral("checkNote"));
    //: A kind of check: the device is asked with ICMP echo requests (ping)
    m_kind->addItem(tr("ICMP echo"), DeviceCheck::Echo);
    //: A kind of check: a TCP connection to a port of the device
    m_kind->addItem(tr("TCP port"), DeviceCheck::TcpPort);
    //: A kind of check: the device is asked by ARP
    m_kind->addItem(tr("ARP"), DeviceCheck::Arp);
    m_port->setRange(1, 65535);
    m_port->setValue(DefaultPort);
    // The row's label names the kind (the focus proxy); the number beside it has none to show.
    setFocusProxy(m_kind);
    //: What a screen reader calls the number beside "TCP port" in the device dialogs
    m_port->setAccessibleName(tr("Port"));
    m_note->setWordWrap(true);
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_kind, 0, 0);
    layout->addWidget(m_port, 0, 1);
    layout->addWidget(m_note, 1, 0, 1, 2);
    connect(m_kind, &QComboBox::currentIndexChanged, this, &DeviceCheckField::update);
    connect(m_kind, &QComboBox::currentIndexChanged, this, &DeviceCheckField::kindChanged);
    update();
}

void DeviceCheckField::setCheck(const DeviceCheck& check)
{
    if (check.kind == DeviceCheck::TcpPort)
        m_port->setValue(check.port);
    m_kind->setCurrentIndex(m_kind->findData(check.kind));
}

void DeviceCheckField::setChecks(const QList<DeviceCheck>& checks)
{
    const auto alike = [&](auto field) {
        return std::all_of(checks.begin(), checks.end(),
                           [&](const DeviceCheck& check) { return check.*field == checks.first().*field; });
    };
    if (checks.isEmpty() || alike(&DeviceCheck::port)) {
        if (!checks.isEmpty() && alike(&DeviceCheck::kind))
            setCheck(checks.first());
        else
            m_kind->setCurrentIndex(-1);
        return;
    }
    // 0 is no port: the spin box shows it as "(several)" until a port is typed.
    //: Several devices edited at once whose ports differ
    m_port->setSpecialValueText(tr("(several)"));
    m_port->setMinimum(0);
    m_port->setValue(0);
    if (alike(&DeviceCheck::kind))
        m_kind->setCurrentIndex(m_kind->findData(checks.first().kind));
    else
        m_kind->setCurrentIndex(-1);
}

std::optional<DeviceCheck> DeviceCheckField::check() const
{
    if (m_kind->currentIndex() < 0)
        return std::nullopt;
    const auto kind = DeviceCheck::Kind(m_kind->currentData().toInt());
    return DeviceCheck{kind, kind == DeviceCheck::TcpPort ? std::uint16_t(m_port->value()) : std::uint16_t(0)};
}

DeviceCheck DeviceCheckField::appliedTo(const DeviceCheck& own) const
{
    std::optional<DeviceCheck> chosen = check();
    if (!chosen)
        return own;
    if (chosen->kind == DeviceCheck::TcpPort && chosen->port == 0)
        chosen->port = own.kind == DeviceCheck::TcpPort ? own.port : DefaultPort;
    return *chosen;
}

void DeviceCheckField::setAddress(const QString& address)
{
    // ARP asks the address that is probed: an IPv4-mapped one is IPv4.
    m_address = DeviceAddress::probed(DeviceAddress::normalised(address));
    update();
}

QString DeviceCheckField::problem() const
{
    const std::optional<DeviceCheck> current = check();
    return current ? PhraseBook::translate(current->problemWith(m_address)) : QString();
}

void DeviceCheckField::update()
{
    const std::optional<DeviceCheck> current = check();
    m_port->setEnabled(current && current->kind == DeviceCheck::TcpPort);
    const bool arp = current && current->kind == DeviceCheck::Arp && !m_address.trimmed().isEmpty();
    if (const QString why = problem(); !why.isEmpty())
        m_note->setText(why);
    else if (arp && !arpReaches(m_address.trimmed()))
        m_note->setText(tr("ARP reaches only addresses on a local link."));
    else
        m_note->clear();
    m_note->setVisible(!m_note->text().isEmpty());
}

} // namespace Tarnwick
